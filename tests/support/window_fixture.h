// The host fixture of the window tests: the application, the month before the host's today as
// the current period (any of its days may be entered), and the windows a test opened, freed at
// its end whether or not they closed themselves.
#pragma once

#include "host_fixture.h"

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

namespace testhost {

template <class Base = HostFixture>
class WindowFixture : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        if (Base::HasFatalFailure()) return;
        EnsureApplication();
        period_ = this->UsePreviousMonth();
    }

    void TearDown() override {
        for (QPointer<QWidget>& window : windows_) delete window.data();
        Base::TearDown();
    }

    // Frees the window at the end of the test unless it is gone by then.
    template <class W>
    W* Keep(W* window) {
        windows_.emplace_back(window);
        return window;
    }

    std::string period_;

private:
    std::vector<QPointer<QWidget>> windows_;
};

}  // namespace testhost
