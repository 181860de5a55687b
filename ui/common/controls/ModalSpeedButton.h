// The flat speed button of the control package, bound to a QAction or with its own click.
#pragma once

#include <QToolButton>

#include <string>

class QAction;

class TModalSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TModalSpeedButton(QWidget* parent = nullptr);
    TModalSpeedButton(const std::string& caption, QWidget* parent = nullptr);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The button shows and triggers the action (its text, icon, enabled state).
    void SetAction(QAction* action) { setDefaultAction(action); }

    bool CanFocus() const;
    void SetFocus();

signals:
    void OnClick(TModalSpeedButton* sender);
};
