// The module, loaded at run time as a plug-in (never linked), and its two entry points.
#pragma once

#include "host/module_exports.h"

#include <QLibrary>
#include <QString>

#include <cstdint>
#include <string>

class QWidget;

// The folder the client's executable lies in.
QString ClientProgramDir();

// Where the module is taken from: $VANTREL_MODULE when set, else the first of the client's
// folder, its parent (the build tree's layout) and the path of the build that made the client.
QString LocateModuleFile();

class VantrelModule {
public:
    bool load(QString& error);
    QString fileName() const { return library_.fileName(); }

    // ShowQtfpMgr with `params` as the first text of the parameter block.
    void showQtfpMgr(std::uintptr_t appHandle, QWidget* parent, const std::string& params);
    // CreateQtfp; returns the parameter string as the module left it.
    std::string createQtfp(std::uintptr_t appHandle, const std::string& params);

private:
    QLibrary library_;
    TModuleEntryPoint showQtfpMgr_ = nullptr;
    TModuleEntryPoint createQtfp_ = nullptr;
};
