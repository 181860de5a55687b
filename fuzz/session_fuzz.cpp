// The client's session files.
#include "client/ClientSession.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClientSession session;
    QString error;
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // A refusal always says why.
    if (!ParseSessionJson(json, QStringLiteral("/nonexistent"), session, error) && error.isEmpty()) std::abort();
    return 0;
}
