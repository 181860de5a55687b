// The client's verbs. Each returns the process exit code.
#pragma once

#include <QString>

#include <cstdio>
#include <string>
#include <vector>

struct ClientOptions;
struct ClientSession;

enum ClientExit { kExitOk = 0, kExitFailed = 1, kExitSetup = 2 };

// What every verb shares: a line of text in UTF-8, a setup error (exit 2), the session the
// options name, and one line of a listing (GBK fields) on standard output: fields joined by
// tabs, or a CSV record written by the export's own rule.
void PrintLine(std::FILE* stream, const QString& text);
int SetupError(const QString& message);
bool PrepareSession(const ClientOptions& options, ClientSession& session, QString& error);
void PrintListing(const std::vector<std::string>& fields, bool csv);

int RunInitDb(const ClientOptions& options);
// Runs without a display and without a QApplication.
int RunSummary(const ClientOptions& options);
// The return preview, the invoices behind one of its cells, the preview as a PDF. None needs
// a display.
int RunPreview(const ClientOptions& options);
int RunDrill(const ClientOptions& options);
int RunPrint(const ClientOptions& options, int& argc, char** argv);
// Both run without a display and without a QApplication.
int RunImport(const ClientOptions& options);
int RunExport(const ClientOptions& options);
// The change log: its chain and replay against the register, and the entries of the period.
// Both run without a display.
int RunVerifyLog(const ClientOptions& options);
int RunHistory(const ClientOptions& options);
// The period's register against the platform's list of invoices: 0 when every invoice matches,
// 1 when any differs, 2 when the list or the register cannot be read. Needs no display.
int RunReconcile(const ClientOptions& options);
int RunRestore(const ClientOptions& options);
int RunDiffDeclared(const ClientOptions& options);
int RunWindow(const ClientOptions& options, int& argc, char** argv);
