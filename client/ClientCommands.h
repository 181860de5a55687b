// The client's verbs. Each returns the process exit code.
#pragma once

struct ClientOptions;

enum ClientExit { kExitOk = 0, kExitFailed = 1, kExitSetup = 2 };

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
int RunWindow(const ClientOptions& options, int& argc, char** argv);
