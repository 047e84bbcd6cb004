#ifndef DBUPDATERUN_H
#define DBUPDATERUN_H

// Running the built dbupdate program as service staff would, and looking at
// the files it leaves, through the sqlite3 shell.

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtTest/QTest>

namespace dbupdaterun {

struct Result
{
    int exitCode = -1;
    QString warnings;   // everything written to standard error
    QString output;     // the report on standard output
    qint64 milliseconds = 0;
};

// Runs dbupdate in directory. A wrapper runs it through another program
// (wrapper[0] with wrapper[1...] before dbupdate's path and arguments), for
// example a shell that lowers a limit first, or setpriv.
inline Result run(const QString &directory, const QStringList &arguments = {},
                  const QStringList &wrapper = {})
{
    QProcess process;
    process.setWorkingDirectory(directory);
    QElapsedTimer timer;
    timer.start();
    if (wrapper.isEmpty())
        process.start(QStringLiteral(DBUPDATE_PATH), arguments);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral(DBUPDATE_PATH)} + arguments);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.milliseconds = timer.elapsed();
    result.exitCode = process.exitCode();
    result.warnings = QString::fromUtf8(process.readAllStandardError());
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

// The SHA-256 of a file's bytes: what "byte-identical" compares.
inline QByteArray sha256(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

// Runs the sqlite3 shell on a file with the given input; returns its output.
inline QString sqlite3(const QString &file, const QByteArray &input)
{
    QProcess process;
    process.start(QStringLiteral(SQLITE3_PATH), {file});
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    const QByteArray errors = process.readAllStandardError();
    if (!errors.isEmpty())
        qWarning("sqlite3 %s: %s", qPrintable(file), errors.constData());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Creates a database file from one of the example SQL files.
inline void loadExample(const QString &file, const QString &example)
{
    QFile sql(QStringLiteral(EXAMPLES_DIR "/") + example);
    QVERIFY(sql.open(QIODevice::ReadOnly));
    sqlite3(file, sql.readAll());
}

// The example old installation (examples/*.sql) in a directory: a version-0
// profile.db and data.db, and a qc.db.
inline void loadInstallation(const QString &directory)
{
    loadExample(directory + QStringLiteral("/profile.db"), QStringLiteral("profile-v0.sql"));
    loadExample(directory + QStringLiteral("/data.db"), QStringLiteral("data-v0.sql"));
    loadExample(directory + QStringLiteral("/qc.db"), QStringLiteral("qc.sql"));
}

// The whole content of a file as SQL text: what "exactly as before" compares.
inline QString dump(const QString &file)
{
    return sqlite3(file, ".dump\n");
}

} // namespace dbupdaterun

#endif // DBUPDATERUN_H
