#include "ui/common/controls/PellowComboBox.h"

#include "host/corlith_api.h"

#include <QFocusEvent>

TPellowComboBox::TPellowComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int) {
        emit OnSelect(this);
        emit OnChange(this);
    });
}

std::vector<std::string> TPellowComboBox::Items() const {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count()));
    for (int i = 0; i < count(); ++i) out.push_back(Item(i));
    return out;
}

std::vector<std::string> TPellowComboBox::ItemValues() const {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count()));
    for (int i = 0; i < count(); ++i) out.push_back(ItemValue(i));
    return out;
}

std::string TPellowComboBox::Item(int index) const {
    if (index < 0 || index >= count()) return std::string();
    return QStringToGbk(itemText(index));
}

std::string TPellowComboBox::ItemValue(int index) const {
    if (index < 0 || index >= count()) return std::string();
    return itemData(index).toByteArray().toStdString();
}

void TPellowComboBox::SetItemValue(int index, const std::string& value) {
    if (index < 0 || index >= count()) return;
    setItemData(index, QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

int TPellowComboBox::IndexOfItem(const std::string& text) const {
    for (int i = 0; i < count(); ++i)
        if (Item(i) == text) return i;
    return -1;
}

int TPellowComboBox::IndexOfValue(const std::string& value) const {
    for (int i = 0; i < count(); ++i)
        if (ItemValue(i) == value) return i;
    return -1;
}

void TPellowComboBox::AddItem(const std::string& text, const std::string& value) {
    addItem(GbkToQString(text), QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

void TPellowComboBox::Clear() { clear(); }

void TPellowComboBox::SetItemIndex(int index) {
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

std::string TPellowComboBox::Text() const { return Item(currentIndex()); }

bool TPellowComboBox::CanFocus() const {
    return isEnabled() && focusPolicy() != Qt::NoFocus && isVisibleTo(window());
}

void TPellowComboBox::SetFocus() { setFocus(Qt::OtherFocusReason); }

void TPellowComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    if (entry_.Enter()) emit OnEnter(this);
}

void TPellowComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // Opening the drop-down list moves the focus to its pop-up; that is no exit.
    if (entry_.Exit(event->reason())) emit OnExit(this);
}
