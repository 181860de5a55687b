// Tfrm_CustomEx: a page with maximise / restore / close buttons at the right end of its
// tool bar. The buttons ask the host to change the page's size through notification 1329.
#pragma once

#include "ui/common/f_CustomForm.h"

class QWidget;
class TModalSpeedButton;

class Tfrm_CustomEx : public Tfrm_Custom {
    Q_OBJECT
public:
    enum { PageNormal = 1, PageMaximized = 2 };

    explicit Tfrm_CustomEx(const vantrel::THostContext& host, QWidget* parent = nullptr);

    void FormCreate() override;
    void ApplySkin() override;

    int PageState() const { return FPageState; }
    void SetPageState(int state);

    void spToolPageMaxClick();
    void spToolPageFormClick();
    void spToolPageCloseClick();

    QWidget* pnlToolResize = nullptr;
    TModalSpeedButton* spToolPageForm = nullptr;
    TModalSpeedButton* spToolPageMax = nullptr;
    TModalSpeedButton* spToolPageClose = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void FormResize();

private:
    int FPageState = PageNormal;
};
