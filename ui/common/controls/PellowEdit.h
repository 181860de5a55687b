// The skinned edit of the control package: a QLineEdit with the numeric value, input style,
// input-method state and events that the module's windows use.
#pragma once

#include "ui/common/controls/FocusEntry.h"

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <string>

enum TInputStyle { ISNormal, ISNumber, ISFloat };

namespace vantrel {

// Input-method modes of an edit.
constexpr int kImeClose = 1;
constexpr int kImeOpen = 2;
constexpr int kImeChinese = 9;

}  // namespace vantrel

class TPellowEdit : public QLineEdit {
    Q_OBJECT
public:
    // Gets the typed character (Backspace is 8, Enter 13); return false to discard it.
    using TKeyPressEvent = std::function<bool(TPellowEdit* sender, char key)>;
    // Gets the Qt key code (Qt::Key_Delete ...) before the edit handles it; return false to discard it.
    using TKeyDownEvent = std::function<bool(TPellowEdit* sender, int key)>;
    // Return true when the request is handled: no menu is shown.
    using TContextPopupEvent = std::function<bool(TPellowEdit* sender, const QPoint& pos)>;

    explicit TPellowEdit(QWidget* parent = nullptr);

    // GBK text.
    std::string Text() const;
    void SetText(const std::string& text);

    TInputStyle InputStyle() const { return inputStyle_; }
    void SetInputStyle(TInputStyle style);
    int DecimalLength() const { return decimalLength_; }
    void SetDecimalLength(int length);
    // Reads the text as a number (0 when it is none); setting writes it with DecimalLength decimals.
    double Value() const;
    void SetValue(double value);
    // 0 means no limit.
    int MaxLength() const;
    void SetMaxLength(int length);

    // Caret position (0-based) and selection length, as a key filter sees them.
    int SelStart() const;
    void SetSelStart(int position);
    int SelLength() const;
    void SetSelLength(int length);

    // 1 closed, 2 open, 9 Chinese; mapped to Qt's input-method hints.
    int ImeMode() const { return imeMode_; }
    void SetImeMode(int mode);
    // GBK name of the input method chosen for this edit.
    const std::string& ImeName() const { return imeName_; }
    void SetImeName(const std::string& name) { imeName_ = name; }

    bool CanFocus() const;
    void SetFocus();

    // Sequence number of construction; forms walk their edits in this order.
    std::uint64_t CreationOrder() const { return creationOrder_; }

    // Whether anything listens to OnEnter.
    bool HasEnterHandler() const;

    // The hooks that answer; the notifications are signals below.
    TKeyPressEvent OnKeyPress;
    TKeyDownEvent OnKeyDown;
    TContextPopupEvent OnContextPopup;

signals:
    void OnEnter(TPellowEdit* sender);   // focus arrives from another control (not on window re-activation)
    void OnExit(TPellowEdit* sender);    // focus leaves to another control
    void OnChange(TPellowEdit* sender);  // every change of the text, by the user or by the program

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void applyInputHints();
    bool acceptsForStyle(char key) const;

    TInputStyle inputStyle_ = ISNormal;
    int decimalLength_ = 0;
    int imeMode_ = 0;
    std::string imeName_;
    vantrel::TFocusEntry entry_;
    std::uint64_t creationOrder_;
};
