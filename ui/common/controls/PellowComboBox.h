// The skinned combo box of the control package: a drop-down list that cannot be typed into,
// with a list of item values kept parallel to the items.
#pragma once

#include "ui/common/controls/FocusEntry.h"

#include <QComboBox>

#include <string>
#include <vector>

class TPellowComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TPellowComboBox(QWidget* parent = nullptr);

    // Items and their values, GBK. The value of item i belongs to item i.
    std::vector<std::string> Items() const;
    std::vector<std::string> ItemValues() const;
    int ItemCount() const { return count(); }
    std::string Item(int index) const;        // empty outside the list
    std::string ItemValue(int index) const;   // empty outside the list
    void SetItemValue(int index, const std::string& value);
    int IndexOfItem(const std::string& text) const;    // -1 when absent
    int IndexOfValue(const std::string& value) const;  // -1 when absent

    void AddItem(const std::string& text, const std::string& value = std::string());
    // Removes every item and every item value.
    void Clear();

    // -1 when nothing is selected. Setting it raises no event.
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    // The shown text (the selected item), GBK; empty when nothing is selected.
    std::string Text() const;
    // The value of the selected item; empty when nothing is selected.
    std::string SelectedValue() const { return ItemValue(ItemIndex()); }

    bool CanFocus() const;
    void SetFocus();

signals:
    // Raised when the user chooses an item (mouse or keyboard), first OnSelect then OnChange.
    void OnSelect(TPellowComboBox* sender);
    void OnChange(TPellowComboBox* sender);
    void OnEnter(TPellowComboBox* sender);
    void OnExit(TPellowComboBox* sender);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    vantrel::TFocusEntry entry_;
};
