#include "ui/common/controls/ModalSpeedButton.h"

#include "host/corlith_api.h"

TModalSpeedButton::TModalSpeedButton(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QToolButton::clicked, this, [this] { emit OnClick(this); });
}

TModalSpeedButton::TModalSpeedButton(const std::string& caption, QWidget* parent) : TModalSpeedButton(parent) {
    SetCaption(caption);
}

std::string TModalSpeedButton::Caption() const { return QStringToGbk(text()); }

void TModalSpeedButton::SetCaption(const std::string& caption) { setText(GbkToQString(caption)); }

bool TModalSpeedButton::CanFocus() const {
    return isEnabled() && focusPolicy() != Qt::NoFocus && isVisibleTo(window());
}

void TModalSpeedButton::SetFocus() { setFocus(Qt::OtherFocusReason); }
