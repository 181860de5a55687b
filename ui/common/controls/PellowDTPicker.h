// The skinned date picker of the control package: a QDateEdit showing "yyyy-MM-dd".
#pragma once

#include <QDate>
#include <QDateEdit>

#include <functional>

class TPellowDTPicker : public QDateEdit {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TPellowDTPicker* sender)>;

    explicit TPellowDTPicker(QWidget* parent = nullptr);

    QDate Date() const { return date(); }
    void SetDate(const QDate& value) { setDate(value); }

    bool CanFocus() const;
    void SetFocus();
    void ClearEvents();

    TNotifyEvent OnChange;  // the date changed, by the user or by the program

protected:
    // Tab and Shift+Tab leave the field in one step; the arrow keys and typing move between
    // year, month and day.
    bool focusNextPrevChild(bool next) override;
};
