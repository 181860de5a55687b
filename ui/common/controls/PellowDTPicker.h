// The skinned date picker of the control package: a QDateEdit showing "yyyy-MM-dd".
#pragma once

#include <QDate>
#include <QDateEdit>

class TPellowDTPicker : public QDateEdit {
    Q_OBJECT
public:
    explicit TPellowDTPicker(QWidget* parent = nullptr);

    QDate Date() const { return date(); }
    void SetDate(const QDate& value) { setDate(value); }

    bool CanFocus() const;
    // The focus, with the first section selected.
    void SetFocus();

signals:
    void OnChange(TPellowDTPicker* sender);  // the date changed, by the user or by the program

protected:
    // Tab and Shift+Tab leave the field in one step; the arrow keys and typing move between
    // year, month and day.
    bool focusNextPrevChild(bool next) override;
};
