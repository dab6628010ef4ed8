// SPDX-License-Identifier: GPL-3.0-or-later
// A home folder of its own for each install test: HOME and the XDG folders
// point into a temporary folder while the test runs.
#pragma once

#include "Install.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace installtest {

inline QString Q(const std::filesystem::path& P) {
    return QString::fromStdString(P.string());
}

class TFakeHome {
public:
    TFakeHome() {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        Home = Q(Root.path() / "home");
        QDir().mkpath(Home);
        qputenv("HOME", QFile::encodeName(Home));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Q(Root.path() / "data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Q(Root.path() / "config")));
        Xdg = TXdgPaths::FromEnvironment();
    }
    ~TFakeHome() {
        for (const auto& s : saved_) {
            if (s.Set)
                qputenv(s.Name, s.Value);
            else
                qunsetenv(s.Name);
        }
    }
    TFakeHome(const TFakeHome&) = delete;
    TFakeHome& operator=(const TFakeHome&) = delete;

    // Every file below the root whose name or content mentions Word (any case).
    QStringList FilesMentioning(const QString& Word) const {
        QStringList out;
        QDirIterator it(Q(Root.path()), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            QFile file(f);
            const bool named = QFileInfo(f).fileName().contains(Word, Qt::CaseInsensitive);
            const bool inside = file.open(QIODevice::ReadOnly) &&
                                file.readAll().toLower().contains(Word.toLower().toUtf8());
            if (named || inside) out << f;
        }
        return out;
    }

    kbtest::TempDir Root;
    QString Home;
    TXdgPaths Xdg;

private:
    struct TSaved {
        const char* Name;
        QByteArray Value;
        bool Set;
    };
    std::vector<TSaved> saved_;
};

struct TRun {
    int Exit = -1;
    QString Out;
};
// Runs a program with the test's environment; stdout and stderr together.
inline TRun RunProgram(const QString& Program, const QStringList& Arguments, int Ms = 30000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Program, Arguments);
    TRun r;
    if (!p.waitForStarted(5000)) return r;
    if (!p.waitForFinished(Ms)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAll());
    return r;
}

inline QByteArray ReadAll(const QString& FileName) {
    QFile f(FileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace installtest
