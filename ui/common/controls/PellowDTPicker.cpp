#include "ui/common/controls/PellowDTPicker.h"

TPellowDTPicker::TPellowDTPicker(QWidget* parent) : QDateEdit(parent) {
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setCalendarPopup(true);
    connect(this, &QDateEdit::dateChanged, this, [this] { emit OnChange(this); });
}

bool TPellowDTPicker::CanFocus() const {
    return isEnabled() && focusPolicy() != Qt::NoFocus && isVisibleTo(window());
}

void TPellowDTPicker::SetFocus() {
    setFocus(Qt::OtherFocusReason);
    // Typed digits then replace the year, as when the window opens; a field that had the focus
    // already would keep its caret after the last section, where digits are refused.
    setSelectedSection(sectionAt(0));
}

bool TPellowDTPicker::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }
