#include "message_box.h"

#include "codec.h"
#include "corlith_host.h"
#include "message_catalog.h"
#include "test_control.h"

#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>

namespace corlith::msgbox {
namespace {

QPointer<QWidget>& dialogParent() {
    static QPointer<QWidget> parent;
    return parent;
}

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QWidget* ParentWidget() {
    if (QWidget* p = dialogParent().data()) return p;
    return QApplication::activeWindow();
}

void PrintToStderr(const std::string& text) {
    std::string utf8;
    codec::GbkToUtf8(text, utf8);
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

void ShowInformation(const std::string& text) {
    if (!HaveWidgets()) {
        PrintToStderr(text);
        return;
    }
    // Built by hand so the buttons read in Chinese whatever translations the host has loaded.
    QMessageBox box(QMessageBox::Information, QString::fromUtf16(u"提示"), GbkToQString(text), QMessageBox::Ok,
                    ParentWidget());
    box.button(QMessageBox::Ok)->setText(QString::fromUtf16(u"确定"));
    box.exec();
}

bool AskConfirmation(const std::string& text) {
    if (!HaveWidgets()) {
        PrintToStderr(text);
        return false;
    }
    QMessageBox box(QMessageBox::Question, QString::fromUtf16(u"确认"), GbkToQString(text),
                    QMessageBox::Yes | QMessageBox::No, ParentWidget());
    box.button(QMessageBox::Yes)->setText(QString::fromUtf16(u"是(&Y)"));
    box.button(QMessageBox::No)->setText(QString::fromUtf16(u"否(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

void Reset() { dialogParent() = nullptr; }

}  // namespace corlith::msgbox

using corlith::test::MessageKind;

namespace {

// An information message: recorded while the tests record them, shown otherwise.
void Inform(MessageKind kind, int number, const std::string& param, const std::string& text) {
    if (corlith::testctl::Recording())
        corlith::testctl::Record(kind, number, param, text);
    else
        corlith::msgbox::ShowInformation(text);
}

}  // namespace

void InforMsg(int number, const std::string& param, int /*flag*/) {
    try {
        Inform(MessageKind::InforMsg, number, param, corlith::catalog::Text(number, param));
    } catch (...) {
    }
}

void InfoMsgBox(const std::string& text, int /*flags*/) {
    try {
        Inform(MessageKind::InfoMsgBox, 0, std::string(), text);
    } catch (...) {
    }
}

bool ConfirmMsgBoxA(const std::string& text, int /*flags*/) {
    try {
        if (corlith::testctl::Recording()) {
            corlith::testctl::Record(MessageKind::Confirm, 0, std::string(), text);
            return corlith::testctl::NextConfirmAnswer();
        }
        return corlith::msgbox::AskConfirmation(text);
    } catch (...) {
        return false;
    }
}

namespace corlith {

void SetDialogParent(QWidget* parent) { msgbox::dialogParent() = parent; }

}  // namespace corlith
