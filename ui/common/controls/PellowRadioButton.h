// The skinned radio button of the control package.
#pragma once

#include <QRadioButton>

#include <string>

class TPellowRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit TPellowRadioButton(QWidget* parent = nullptr);
    TPellowRadioButton(const std::string& caption, QWidget* parent = nullptr);

    bool Checked() const { return isChecked(); }
    // Unchecking is honoured even for the checked button of an exclusive group.
    void SetChecked(bool checked);

    std::string Caption() const;
    void SetCaption(const std::string& caption);

    bool CanFocus() const;
    void SetFocus();
};
