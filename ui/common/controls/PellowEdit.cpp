#include "ui/common/controls/PellowEdit.h"

#include "host/corlith_api.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMetaMethod>

#include <atomic>
#include <cmath>

namespace {

std::uint64_t NextCreationOrder() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// The character a key press types, as the control package reports it; 0 for keys that type none.
char KeyChar(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    default: break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return 0;
    const QString text = event->text();
    if (text.isEmpty()) return 0;
    const QChar c = text.at(0);
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) return 0;
    if (c.unicode() < 0x80) return static_cast<char>(c.unicode());
    // A character beyond ASCII reaches the filters as its first GBK byte.
    const std::string gbk = QStringToGbk(text.left(1));
    return gbk.empty() ? '?' : gbk.front();
}

}  // namespace

TPellowEdit::TPellowEdit(QWidget* parent) : QLineEdit(parent), creationOrder_(NextCreationOrder()) {
    connect(this, &QLineEdit::textChanged, this, [this] { emit OnChange(this); });
}

std::string TPellowEdit::Text() const { return QStringToGbk(text()); }

void TPellowEdit::SetText(const std::string& text) { setText(GbkToQString(text)); }

void TPellowEdit::SetInputStyle(TInputStyle style) {
    inputStyle_ = style;
    applyInputHints();
}

void TPellowEdit::SetDecimalLength(int length) { decimalLength_ = length < 0 ? 0 : length; }

double TPellowEdit::Value() const {
    bool ok = false;
    const double v = text().trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

void TPellowEdit::SetValue(double value) {
    if (!std::isfinite(value)) value = 0.0;
    if (decimalLength_ <= 0)
        setText(QString::number(static_cast<long long>(std::llround(value))));
    else
        setText(QString::asprintf("%.*f", decimalLength_, value));
}

int TPellowEdit::MaxLength() const {
    const int n = maxLength();
    return n >= 32767 ? 0 : n;
}

void TPellowEdit::SetMaxLength(int length) { setMaxLength(length <= 0 ? 32767 : length); }

int TPellowEdit::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

void TPellowEdit::SetSelStart(int position) { setCursorPosition(position); }

int TPellowEdit::SelLength() const { return hasSelectedText() ? selectionLength() : 0; }

void TPellowEdit::SetSelLength(int length) {
    const int start = SelStart();
    if (length <= 0)
        setCursorPosition(start);
    else
        setSelection(start, length);
}

void TPellowEdit::SetImeMode(int mode) {
    imeMode_ = mode;
    applyInputHints();
}

void TPellowEdit::applyInputHints() {
    Qt::InputMethodHints hints = inputMethodHints();
    hints &= ~(Qt::ImhLatinOnly | Qt::ImhPreferLatin | Qt::ImhDigitsOnly | Qt::ImhFormattedNumbersOnly);
    bool imeEnabled = true;
    if (imeMode_ == vantrel::kImeClose) {
        hints |= Qt::ImhLatinOnly | Qt::ImhPreferLatin;
        imeEnabled = false;
    }
    if (inputStyle_ == ISNumber) hints |= Qt::ImhDigitsOnly;
    if (inputStyle_ == ISFloat) hints |= Qt::ImhFormattedNumbersOnly;
    setInputMethodHints(hints);
    setAttribute(Qt::WA_InputMethodEnabled, imeEnabled);
    if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImHints | Qt::ImEnabled);
}

bool TPellowEdit::CanFocus() const {
    return isEnabled() && focusPolicy() != Qt::NoFocus && isVisibleTo(window());
}

void TPellowEdit::SetFocus() { setFocus(Qt::OtherFocusReason); }

bool TPellowEdit::HasEnterHandler() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TPellowEdit::OnEnter));
}

bool TPellowEdit::acceptsForStyle(char key) const {
    if (key == 8 || key == 13) return true;
    const bool digit = key >= '0' && key <= '9';
    switch (inputStyle_) {
    case ISNumber: return digit;
    case ISFloat: return digit || key == '-' || key == '.';
    default: return true;
    }
}

void TPellowEdit::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown && !OnKeyDown(this, event->key())) {
        event->accept();
        return;
    }
    const char key = KeyChar(event);
    if (key != 0) {
        if (OnKeyPress && !OnKeyPress(this, key)) {
            event->accept();
            return;
        }
        if (!acceptsForStyle(key)) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TPellowEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (entry_.Enter()) emit OnEnter(this);
}

void TPellowEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (entry_.Exit(event->reason())) emit OnExit(this);
}

void TPellowEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (OnContextPopup && OnContextPopup(this, event->pos())) {
        event->accept();
        return;
    }
    QLineEdit::contextMenuEvent(event);
}
