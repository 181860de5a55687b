// Headers that most headless sources include, compiled once per build (VANTREL_PCH).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
