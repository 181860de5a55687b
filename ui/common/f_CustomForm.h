// Tfrm_Custom: the base of module pages that live in the host's frame.
//
// Creating a page takes two steps because a Qt constructor cannot reach the overrides of a
// derived class: the derived constructor builds its controls (inside ContentArea() and on
// ModuleToolbar) and then calls FormCreate(). FormCreate captures the host context (what the
// opener read of the host, handed to the base constructor), applies
// the skin through the virtual ApplySkin and installs the input-method handler on the edits.
// A derived FormCreate calls the inherited one first.
//
//   TFrmPage::TFrmPage(const vantrel::TModuleContext& context, QWidget* parent)
//       : Tfrm_CustomEx(context.host, parent) {
//       edtName = new TPellowEdit(ContentArea());
//       ...
//       FormCreate();
//   }
//
// Pages are created with new; closing one (the user, message 1280, close()) frees it, and its
// destruction sends the data notification 1302 with the creation function code.
#pragma once

#include "ui/common/f_FormSupport.h"

#include <QWidget>

#include <string>

class QAction;
class QFrame;
class QToolBar;
class QToolButton;
class QVBoxLayout;
namespace vantrel { class TImageList; }
class TPellowEdit;

class Tfrm_Custom : public QWidget, public vantrel::THostForm {
    Q_OBJECT
public:
    explicit Tfrm_Custom(const vantrel::THostContext& host, QWidget* parent = nullptr);
    ~Tfrm_Custom() override;

    void ApplySkin() override;

    // The area below the tool bar where a page lays out its controls.
    QWidget* ContentArea() const { return FContent; }
    // Adds an action to the tool bar as an 85 x 30 button with its caption beside its image.
    QToolButton* AddToolAction(QAction* action);

    QFrame* Shape1 = nullptr;
    QToolBar* ModuleToolbar = nullptr;
    vantrel::TImageList* ImageList1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    void LoadHostContext() override;
    void SetToolbarColor(int32_t color);
    virtual void FormClose();
    virtual void FormDestroy();

private:
    QVBoxLayout* layout_ = nullptr;
    QWidget* FContent = nullptr;
    vantrel::THelpKeyWatcher* helpKeys_ = nullptr;
    bool destroyNotified_ = false;
};
