#include "ui/common/controls/PellowRadioButton.h"

#include "host/corlith_api.h"

#include <QButtonGroup>

TPellowRadioButton::TPellowRadioButton(QWidget* parent) : QRadioButton(parent) {}

TPellowRadioButton::TPellowRadioButton(const std::string& caption, QWidget* parent)
    : QRadioButton(GbkToQString(caption), parent) {}

void TPellowRadioButton::SetChecked(bool checked) {
    if (checked || !isChecked()) {
        setChecked(checked);
        return;
    }
    // Qt refuses to uncheck the checked member of an exclusive group; the package allows it.
    QButtonGroup* g = group();
    const bool groupExclusive = g && g->exclusive();
    const bool autoEx = autoExclusive();
    if (groupExclusive) g->setExclusive(false);
    setAutoExclusive(false);
    setChecked(false);
    setAutoExclusive(autoEx);
    if (groupExclusive) g->setExclusive(true);
}

std::string TPellowRadioButton::Caption() const { return QStringToGbk(text()); }

void TPellowRadioButton::SetCaption(const std::string& caption) { setText(GbkToQString(caption)); }

bool TPellowRadioButton::CanFocus() const {
    return isEnabled() && focusPolicy() != Qt::NoFocus && isVisibleTo(window());
}

void TPellowRadioButton::SetFocus() { setFocus(Qt::OtherFocusReason); }
