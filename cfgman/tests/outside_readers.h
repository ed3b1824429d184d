#pragma once
// Programs from outside that check what cfgman wrote: python3-dbfread for
// tables, crudini for INI files, and the system's own programs run to their end.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace cfgtest {

// The environment of a program run by a test: under the sanitizers, with
// everything checked but leaks, since GCC 12's leak checker can crash at the
// exit of a program whose threads are still ending ("Tracer caught signal
// 11"); the test's own process still checks for leaks.
inline QProcessEnvironment ChildEnvironment(QProcessEnvironment env) {
    if (const QString asan = env.value(QStringLiteral("ASAN_OPTIONS")); !asan.isEmpty())
        env.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral(":detect_leaks=0"));
    return env;
}

// Runs a program to its end; stdout and stderr together in out. -1 when
// it does not end in time or crashes.
inline int RunProgram(const QString& program, const QStringList& args, QString* out = nullptr,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setProcessEnvironment(ChildEnvironment(env));
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Every row of a table as python3-dbfread reads it: the fields given, in
// that order, joined by "|".
inline QStringList DbfRows(const std::string& file, const QStringList& fields) {
    QString out;
    RunProgram(QStringLiteral("/usr/bin/python3"),
               QStringList{QStringLiteral("-c"),
                           QStringLiteral(
                               "import sys, dbfread\n"
                               "for r in dbfread.DBF(sys.argv[1], char_decode_errors='replace'):\n"
                               "    print('|'.join(str(r[f]).rstrip() for f in sys.argv[2:]))"),
                           QString::fromStdString(file)} +
                   fields,
               &out);
    return out.split('\n', Qt::SkipEmptyParts);
}

inline QString Crudini(const std::string& file, const QString& section, const QString& key) {
    QString out;
    if (RunProgram(QStringLiteral("crudini"),
                   {QStringLiteral("--get"), QString::fromStdString(file), section, key},
                   &out) != 0)
        return QStringLiteral("<missing>");
    return out.trimmed();
}

} // namespace cfgtest
