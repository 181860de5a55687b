#include "ModuleLoader.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

QString ClientProgramDir() {
    return QFileInfo(u"/proc/self/exe"_s).canonicalPath();
}

QString LocateModuleFile() {
    const QString fromEnv = qEnvironmentVariable("VANTREL_MODULE");
    if (!fromEnv.isEmpty()) return fromEnv;
    const QString name = QString::fromUtf8(VANTREL_MODULE_FILE);
    const QDir dir(ClientProgramDir());
    // Beside the client, in the build folder above it, or in the installed library folder.
    const QString candidates[] = {dir.filePath(name), dir.filePath(u"../"_s + name),
                                  dir.filePath(QString::fromUtf8(VANTREL_MODULE_RELATIVE) + u"/"_s + name)};
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
    return candidates[0];
}

bool VantrelModule::load(QString& error) {
    const QString file = LocateModuleFile();
    library_.setFileName(file);
    if (!library_.load()) {
        error = u"无法加载模块 %1：%2"_s.arg(file, library_.errorString());
        return false;
    }
    showQtfpMgr_ = reinterpret_cast<TModuleEntryPoint>(library_.resolve("ShowQtfpMgr"));
    createQtfp_ = reinterpret_cast<TModuleEntryPoint>(library_.resolve("CreateQtfp"));
    if (!showQtfpMgr_ || !createQtfp_) {
        error = u"模块 %1 缺少 ShowQtfpMgr 或 CreateQtfp"_s.arg(file);
        return false;
    }
    return true;
}

void VantrelModule::showQtfpMgr(std::uintptr_t appHandle, QWidget* parent, const std::string& params) {
    std::vector<char> text(params.begin(), params.end());
    text.push_back('\0');
    char* block[] = {text.data(), nullptr};
    showQtfpMgr_(appHandle, parent, block);
}

std::string VantrelModule::createQtfp(std::uintptr_t appHandle, const std::string& params) {
    std::vector<char> text(params.size() + kCreateQtfpGrowthBound + 1, '\0');
    std::memcpy(text.data(), params.data(), params.size());
    char* block[] = {text.data(), nullptr};
    createQtfp_(appHandle, nullptr, block);
    return std::string(text.data(), ::strnlen(text.data(), text.size()));
}
