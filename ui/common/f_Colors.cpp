#include "ui/common/f_Colors.h"
