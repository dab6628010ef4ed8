// SPDX-License-Identifier: GPL-3.0-or-later
// Install branch, menu entry, associations and the files uninstall removes.
#include "Install.h"

#include "DialogsLng.h"
#include "Local.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* DefaultGroup = "[Default Applications]";
constexpr const char* AddedGroup = "[Added Associations]";
constexpr const char* InstalledKey = "X-Kestrelbay-Installed";

QString WithSlash(QString Dir) {
    if (!Dir.endsWith('/')) Dir += '/';
    return Dir;
}

QString EnvDir(const char* Name, const char* Fallback) {
    const QString v = qEnvironmentVariable(Name);
    // XDG base directories must be absolute; a relative one is ignored.
    if (!v.isEmpty() && QDir::isAbsolutePath(v)) return QDir::cleanPath(v);
    return QDir::cleanPath(QDir::homePath() + '/' + Fallback);
}

bool Exists(const QString& Path) {
    const QFileInfo fi(Path);
    return fi.exists() || fi.isSymLink();
}

// The path with symbolic links resolved as far as it exists.
QString ResolvedPath(const QString& Path) {
    QString cur = QDir::cleanPath(QFileInfo(Path).absoluteFilePath());
    QStringList rest;
    while (!QFileInfo::exists(cur)) {
        const QFileInfo fi(cur);
        const QString up = fi.path();
        if (up == cur) break;
        rest.prepend(fi.fileName());
        cur = up;
    }
    QString resolved = QFileInfo(cur).canonicalFilePath();
    if (resolved.isEmpty()) resolved = cur;
    for (const QString& part : rest)
        resolved += '/' + part;
    return QDir::cleanPath(resolved);
}

bool WriteWhole(const QString& FileName, const QByteArray& Bytes) {
    QDir().mkpath(QFileInfo(FileName).path());
    QSaveFile f(FileName);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(Bytes) != Bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

// The cache tools of the desktop; without them the files alone still work.
void RunTool(const QString& Program, const QStringList& Arguments) {
    const QString exe = QStandardPaths::findExecutable(Program);
    if (exe.isEmpty()) return;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(exe, Arguments);
    if (!p.waitForStarted(5000)) return;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(2000);
    }
}

void UpdateCaches(const TXdgPaths& Xdg) {
    const QString mime = Xdg.DataHome + "/mime";
    if (QFileInfo::exists(mime + "/packages")) RunTool("update-mime-database", {mime});
    const QString apps = Xdg.DataHome + "/applications";
    if (QFileInfo::exists(apps)) RunTool("update-desktop-database", {apps});
}

// Desktop-file string escapes.
QString EscapeString(const QString& S) {
    QString out;
    for (QChar c : S) {
        switch (c.unicode()) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A key file (desktop entry, mimeapps.list) as lines, edited in place so
// that whatever we do not touch stays as it was.
class TKeyFile {
public:
    bool Load(const QString& FileName) {
        QFile f(FileName);
        if (!f.exists()) return true;
        if (!f.open(QIODevice::ReadOnly)) return false;
        const QString text = QString::fromUtf8(f.readAll());
        Lines = text.split('\n');
        if (!Lines.isEmpty() && Lines.back().isEmpty()) Lines.removeLast();
        return true;
    }
    QByteArray Bytes() const {
        return Lines.isEmpty() ? QByteArray() : (Lines.join('\n') + '\n').toUtf8();
    }

    // First and one-past-last line of a group's body; Begin -1 when missing.
    std::pair<int, int> Group(const QString& Header) const {
        int begin = -1;
        for (int i = 0; i < Lines.size(); ++i) {
            const QString t = Lines[i].trimmed();
            if (begin < 0) {
                if (t == Header) begin = i + 1;
            } else if (t.startsWith('[')) {
                return {begin, i};
            }
        }
        return {begin, static_cast<int>(Lines.size())};
    }
    static QString KeyOf(const QString& Line) {
        const qsizetype eq = Line.indexOf('=');
        if (eq < 0 || Line.trimmed().startsWith('#')) return {};
        return Line.left(eq).trimmed();
    }
    static QString ValueOf(const QString& Line) {
        return Line.mid(Line.indexOf('=') + 1).trimmed();
    }

    int Find(const QString& Header, const QString& Key) const {
        const auto [b, e] = Group(Header);
        if (b < 0) return -1;
        for (int i = b; i < e; ++i)
            if (KeyOf(Lines[i]) == Key) return i;
        return -1;
    }
    QString Value(const QString& Header, const QString& Key) const {
        const int i = Find(Header, Key);
        return i < 0 ? QString() : ValueOf(Lines[i]);
    }
    void Set(const QString& Header, const QString& Key, const QString& Value) {
        const QString line = Key + '=' + Value;
        if (const int i = Find(Header, Key); i >= 0) {
            Lines[i] = line;
            return;
        }
        auto [b, e] = Group(Header);
        if (b < 0) {
            if (!Lines.isEmpty() && !Lines.back().trimmed().isEmpty()) Lines << QString();
            Lines << Header << line;
            return;
        }
        // After the group's last line that is not blank.
        int at = e;
        while (at > b && Lines[at - 1].trimmed().isEmpty())
            --at;
        Lines.insert(at, line);
    }
    void Remove(const QString& Header, const QString& Key) {
        if (const int i = Find(Header, Key); i >= 0) Lines.removeAt(i);
    }

    QStringList Lines;
};

QStringList SplitList(const QString& Value) {
    QStringList out;
    for (const QString& s : Value.split(';'))
        if (!s.trimmed().isEmpty()) out << s.trimmed();
    return out;
}

QString JoinList(const QStringList& Items) {
    return Items.join(';') + ';';
}

// Remembers which folders of a path did not exist, to take back only those.
class TCreatedDirs {
public:
    explicit TCreatedDirs(const QString& Dir) {
        QString cur = QDir::cleanPath(QFileInfo(Dir).absoluteFilePath());
        while (!QFileInfo::exists(cur)) {
            missing_ << cur;
            const QString up = QFileInfo(cur).path();
            if (up == cur) break;
            cur = up;
        }
    }
    // Deepest first; a folder that holds anything stays.
    void Undo() const {
        for (const QString& d : missing_)
            QDir().rmdir(d);
    }

private:
    QStringList missing_;
};

} // namespace

QStringList PGNMimeTypes() {
    return {"application/x-chess-pgn", "application/vnd.chess-pgn"};
}

TXdgPaths TXdgPaths::FromEnvironment() {
    return {EnvDir("XDG_DATA_HOME", ".local/share"), EnvDir("XDG_CONFIG_HOME", ".config")};
}

QString TXdgPaths::DesktopFile() const {
    return DataHome + "/applications/" + DesktopFileId;
}

QString TXdgPaths::MimePackage() const {
    return DataHome + "/mime/packages/kestrelbay.xml";
}

QString TXdgPaths::MimeApps() const {
    return ConfigHome + "/mimeapps.list";
}

QString InstallTargetDir(const QString& Chosen) {
    QString t = WithSlash(Chosen);
    if (t.right(11).toUpper() != "KESTRELBAY/") t += "Kestrelbay/";
    return t;
}

bool SameFolder(const QString& A, const QString& B) {
    return ResolvedPath(A) == ResolvedPath(B);
}

QString DesktopExecArgument(const QString& ExePath) {
    // Inside double quotes: backslash, double quote, backtick and dollar get
    // a backslash; a percent sign is doubled, since %x are field codes.
    QString q = "\"";
    for (QChar c : ExePath) {
        if (c == '\\' || c == '"' || c == '`' || c == '$') q += '\\';
        if (c == '%') q += '%';
        q += c;
    }
    q += '"';
    // The string escapes apply on top of the quoting.
    return EscapeString(q);
}

QByteArray DesktopEntryText(const QString& ExePath, bool Installed, const QStringList& MimeTypes) {
    QStringList l;
    l << "[Desktop Entry]"
      << "Type=Application"
      << "Version=1.0"
      << "Name=Kestrelbay"
      << "GenericName=Chess Database"
      << "GenericName[de]=Schachdatenbank"
      << "Comment=Chess database and game program"
      << "Comment[de]=Schachdatenbank und Schachprogramm"
      << "Exec=" + DesktopExecArgument(ExePath) + " %f"
      << "TryExec=" + EscapeString(ExePath) << "Terminal=false"
      << "Categories=Game;BoardGame;";
    if (!MimeTypes.isEmpty()) l << "MimeType=" + JoinList(MimeTypes);
    if (Installed) l << QString(InstalledKey) + "=true";
    return (l.join('\n') + '\n').toUtf8();
}

TDesktopEntryInfo ReadDesktopEntry(const QString& FileName, const QString& ExePath) {
    TDesktopEntryInfo info;
    if (!QFileInfo::exists(FileName)) return info;
    TKeyFile f;
    if (!f.Load(FileName)) {
        info.Exists = true;
        return info;
    }
    info.Exists = true;
    const QString group = "[Desktop Entry]";
    info.NamesExe = f.Value(group, "Exec") == DesktopExecArgument(ExePath) + " %f";
    info.Installed = info.NamesExe && f.Value(group, InstalledKey) == "true";
    info.MimeTypes = SplitList(f.Value(group, "MimeType"));
    return info;
}

QByteArray MimePackageText() {
    return QByteArray(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"") +
           DatabaseMimeType +
           "\">\n"
           "    <comment>Kestrelbay database</comment>\n"
           "    <comment xml:lang=\"de\">Kestrelbay-Datenbank</comment>\n"
           "    <glob pattern=\"*.kbf\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

bool SetDefaultApplication(const QString& MimeAppsFile, const QStringList& Types) {
    TKeyFile f;
    if (!f.Load(MimeAppsFile)) return false;
    for (const QString& type : Types) {
        for (const char* group : {DefaultGroup, AddedGroup}) {
            QStringList apps = SplitList(f.Value(group, type));
            apps.removeAll(DesktopFileId);
            apps.prepend(DesktopFileId);
            f.Set(group, type, JoinList(apps));
        }
    }
    return WriteWhole(MimeAppsFile, f.Bytes());
}

bool RemoveDefaultApplication(const QString& MimeAppsFile, const QStringList& Types) {
    if (!QFileInfo::exists(MimeAppsFile)) return true;
    TKeyFile f;
    if (!f.Load(MimeAppsFile)) return false;
    bool changed = false;
    for (const QString& type : Types) {
        for (const char* group : {DefaultGroup, AddedGroup}) {
            QStringList apps = SplitList(f.Value(group, type));
            if (!apps.removeAll(DesktopFileId)) continue;
            changed = true;
            if (apps.isEmpty())
                f.Remove(group, type);
            else
                f.Set(group, type, JoinList(apps));
        }
    }
    return !changed || WriteWhole(MimeAppsFile, f.Bytes());
}

QString DefaultApplication(const QString& MimeAppsFile, const QString& Type) {
    TKeyFile f;
    if (!f.Load(MimeAppsFile)) return {};
    return SplitList(f.Value(DefaultGroup, Type)).value(0);
}

bool RegisterFileType(const TXdgPaths& Xdg, const QStringList& Types, const QString& ExePath,
                      bool Installed) {
    const TDesktopEntryInfo old = ReadDesktopEntry(Xdg.DesktopFile(), ExePath);
    QStringList types = old.MimeTypes;
    for (const QString& t : Types)
        if (!types.contains(t)) types << t;
    bool ok = WriteWhole(Xdg.DesktopFile(), DesktopEntryText(ExePath, Installed, types));
    if (Types.contains(DatabaseMimeType))
        ok = WriteWhole(Xdg.MimePackage(), MimePackageText()) && ok;
    ok = ok && SetDefaultApplication(Xdg.MimeApps(), Types);
    UpdateCaches(Xdg);
    return ok;
}

QStringList RemoveInstallation(const TXdgPaths& Xdg, const QString& ProgramDir,
                               const QString& ExePath) {
    QStringList failed;
    auto remove = [&failed](const QString& Path) {
        if (Exists(Path) && !QFile::remove(Path)) failed << Path;
    };
    const TDesktopEntryInfo entry = ReadDesktopEntry(Xdg.DesktopFile(), ExePath);
    // An entry that starts another copy belongs to that copy, and so do the
    // associations through it.
    if (entry.NamesExe || !entry.Exists) {
        remove(Xdg.DesktopFile());
        QStringList types = PGNMimeTypes();
        types.prepend(DatabaseMimeType);
        if (!RemoveDefaultApplication(Xdg.MimeApps(), types)) failed << Xdg.MimeApps();
        remove(Xdg.MimePackage());
        UpdateCaches(Xdg);
    }
    const QString dir = WithSlash(ProgramDir);
    for (const QString& name : {QString(LogName), QString(LogName) + ".old",
                                QString(LanguageTemplateName), QString(IniName)})
        remove(dir + name);
    // Only the copy the installer made; a build or a packaged program stays.
    if (entry.Installed && SameFolder(QFileInfo(ExePath).path(), dir)) {
        remove(ExePath);
        if (!Exists(ExePath)) QDir().rmdir(dir); // only when nothing else is left
    }
    return failed;
}

bool CreateEmptyFile(const QString& FileName) {
    const QByteArray name = QFile::encodeName(FileName);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return ::close(fd) == 0;
    return errno == EEXIST && QFileInfo(FileName).isFile();
}

bool CopyExecutable(const QString& From, const QString& To) {
    QFile in(From);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QTemporaryFile out(To + ".new-XXXXXX");
    if (!out.open()) return false;
    QByteArray buffer;
    while (!in.atEnd()) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError) return false;
        if (out.write(buffer) != buffer.size()) return false;
    }
    if (!out.flush() || ::fsync(out.handle()) != 0) return false;
    if (!out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                            QFileDevice::ReadOther | QFileDevice::ExeOther))
        return false;
    // A rename replaces the old file whole, even while that one runs.
    const QByteArray tmp = QFile::encodeName(out.fileName());
    if (::rename(tmp.constData(), QFile::encodeName(To).constData()) != 0) return false;
    out.setAutoRemove(false);
    return true;
}

bool NeedsInstall(const QStringList& Arguments, const QString& ProgramDir) {
    return Arguments.isEmpty() && !Exists(WithSlash(ProgramDir) + IniName);
}

TInstallSetup TInstallSetup::FromProgram() {
    TInstallSetup s;
    s.ExePath = QCoreApplication::applicationFilePath();
    s.ProgramDir = WithSlash(QFileInfo(s.ExePath).path());
    s.PresetFolder = QDir::homePath();
    s.Xdg = TXdgPaths::FromEnvironment();
    s.German = SystemLanguageIsGerman();
    s.Launch = [](const QString& Program, const QString& Dir) {
        return QProcess::startDetached(Program, {}, Dir);
    };
    return s;
}

QString InstalledExecutable(const QString& TargetDir) {
    return WithSlash(TargetDir) + ProgramFileName;
}

TInstallResult RunInstallBranch(const TInstallSetup& Setup) {
    const bool de = Setup.German;
    // The dialogs' captions and buttons in the language of the texts.
    LanguageColumn = de ? 0 : 1;
    ApplyMessageDialogLanguage();

    const QStringList offer = {
        "Kestrelbay",
        de ? "(Schachdatenbank)" : "(Chess Database)",
        "",
        "",
        "",
        "",
        "",
        de ? "Drücken Sie OK, und wählen Sie dann das Installations-Verzeichnis aus."
           : "Press OK to continue and select the installation folder then."};
    if (MessageDlgEx(offer.join('\r'), mtInformation, mbOKCancel, 0) != mrOk)
        return TInstallResult::Cancelled;

    TFileRequest request;
    request.Mode = TFileMode::Directory;
    request.Title = de ? "Kestrelbay wird nun installiert. Bitte wählen Sie das "
                         "Installations-Verzeichnis."
                       : "Kestrelbay will be installed now. Please select the installation folder.";
    request.FileName = Setup.PresetFolder;
    QString chosen;
    if (!ChooseFileName(nullptr, request, chosen)) return TInstallResult::Cancelled;

    const QString target = InstallTargetDir(QDir::cleanPath(chosen));
    if (SameFolder(target, Setup.ProgramDir)) return TInstallResult::SameFolder;

    const QString error =
        de ? "Fehler beim Anlegen des Installations-Verzeichnisses. Möglicherweise ist es "
             "schreibgeschützt."
           : "Error while creating the installation folder. Maybe it is write protected.";
    const TCreatedDirs created(target);
    auto fail = [&] {
        MessageDlgEx(error, mtError, {mbOK}, 0);
        created.Undo();
        return TInstallResult::Failed;
    };
    if (!QDir().mkpath(target) || !QFileInfo(target).isDir()) return fail();
    const QString dir = WithSlash(ResolvedPath(target));
    const QString exe = InstalledExecutable(dir);
    const QString ini = dir + IniName;

    // The ini first: an ini that is there already is kept. Then the program;
    // when it cannot be copied, nothing may be left that points at it.
    const bool iniWasThere = Exists(ini);
    if (!CreateEmptyFile(ini)) return fail();
    if (!CopyExecutable(Setup.ExePath, exe)) {
        if (!iniWasThere) QFile::remove(ini);
        return fail();
    }

    // Menu entry and association are optional: the program runs without them.
    RegisterFileType(Setup.Xdg, {DatabaseMimeType}, exe, true);
    if (Setup.Launch) Setup.Launch(exe, dir);
    return TInstallResult::Installed;
}

TProgramFiles& ProgramFiles() {
    static TProgramFiles files;
    return files;
}

QString RunningExecutable() {
    const QString& e = ProgramFiles().ExePath;
    return e.isEmpty() ? QCoreApplication::applicationFilePath() : e;
}
