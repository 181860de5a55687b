// The client's command line: one verb and the options that go with it.
#pragma once

#include <QString>
#include <QStringList>

enum class ClientVerb { Window, Manager, InitDb, Summary, Preview, Drill, Print, Import, Export, Taxpayers, SummaryAll, VerifyLog,
                        History, Reconcile, ImportEInvoice, Restore, DiffDeclared };

struct ClientOptions {
    ClientVerb verb = ClientVerb::Window;
    bool help = false;

    // Shared by every verb; empty means "as the session says".
    QString sessionFile;
    QString database;
    QString company;
    QString period;

    bool demo = false;      // init-db
    QString outFile;        // summary --out
    QString paramText;      // summary --params, as typed
    bool hasParamText = false;
    bool csv = false;       // preview, drill, taxpayers, history, reconcile: --format csv (text otherwise)
    QString cell;           // drill CELL
    QString pdfFile;        // print --pdf
    QString file;           // import FILE, export FILE, reconcile FILE
    QStringList paths;      // import-einvoice PATH...
    bool dryRun = false;    // import, import-einvoice --dry-run
    bool allowDuplicates = false;  // import --allow-duplicates: rows the register holds already go in too
    QString typeCode;       // export --type
    QString buyer;          // export --buyer
    QString taxpayerImport; // taxpayers --import FILE
    QString outDir;         // summary-all --out-dir
    QString taxpayerList;   // summary-all --taxpayers FILE
    int jobs = 1;           // summary-all --jobs
    int xh = 0;             // history --xh (0: every invoice of the period)
    qint64 batch = 0;       // restore --batch
};

// Parses the arguments after the program name. Needs no QCoreApplication. Returns false with
// a message for anything it does not understand, so that a typo never runs a verb.
bool ParseClientOptions(const QStringList& args, ClientOptions& options, QString& error);

QString ClientUsage();
