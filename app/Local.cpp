// SPDX-License-Identifier: GPL-3.0-or-later
#include "Local.h"

#include "DialogsLng.h"
#include "LocalTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

int LanguageColumn = 0;

namespace {

const QChar CR = u'\r';
const QChar Paragraph = u'\u00a7';

// A line longer than this is cut: no caption needs it, and laying out a
// megabyte in a menu would hang the window.
constexpr size_t MaxLineBytes = 8192;

// The property that keeps a hint in its "short|long" form.
const char* const HintProperty = "kbHint";

struct TTable {
    std::array<QString, TextCount> Column[2];
    TTable() { Reset(); }
    void Reset() {
        for (int i = 0; i < TextCount; ++i) {
            Column[0][i] = QString::fromUtf8(BuiltInTexts[i].German);
            Column[1][i] = QString::fromUtf8(BuiltInTexts[i].English);
        }
    }
    void ResetEnglish() {
        for (int i = 0; i < TextCount; ++i)
            Column[1][i] = QString::fromUtf8(BuiltInTexts[i].English);
    }
};

TTable& Table() {
    static TTable table;
    return table;
}

bool InRange(int n) {
    return n >= 0 && n < TextCount;
}

enum class TKind { Caption, Hint, Custom };

struct TRegistration {
    QPointer<QObject> Item;
    bool Owned = true; // false: lives for the program's lifetime
    TKind Kind = TKind::Caption;
    int Number = 0;
    QString German;
    std::function<void(const QString&)> Set;

    bool Alive() const { return !Owned || !Item.isNull(); }
};

std::vector<TRegistration>& Registrations() {
    static std::vector<TRegistration> list;
    return list;
}

void Purge() {
    auto& list = Registrations();
    std::erase_if(list, [](const TRegistration& r) { return !r.Alive(); });
}

QString CaptionOf(QObject* Item) {
    if (auto* a = qobject_cast<QAction*>(Item)) return a->text();
    if (auto* m = qobject_cast<QMenu*>(Item)) return m->title();
    if (auto* b = qobject_cast<QAbstractButton*>(Item)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(Item)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(Item)) return g->title();
    if (auto* w = qobject_cast<QWidget*>(Item)) return w->windowTitle();
    return {};
}

void SetCaption(QObject* Item, const QString& S) {
    if (auto* a = qobject_cast<QAction*>(Item)) {
        a->setText(S);
    } else if (auto* m = qobject_cast<QMenu*>(Item)) {
        m->setTitle(S);
    } else if (auto* b = qobject_cast<QAbstractButton*>(Item)) {
        b->setText(S);
    } else if (auto* l = qobject_cast<QLabel*>(Item)) {
        l->setText(ScreenLines(S));
    } else if (auto* g = qobject_cast<QGroupBox*>(Item)) {
        g->setTitle(S);
    } else if (auto* w = qobject_cast<QWidget*>(Item)) {
        w->setWindowTitle(S);
    }
}

void Show(const TRegistration& r) {
    const QString s = LanguageColumn == 0 ? r.German : Text(r.Number);
    switch (r.Kind) {
    case TKind::Caption:
        if (r.Item) SetCaption(r.Item, s);
        break;
    case TKind::Hint:
        if (r.Item) SetHint(r.Item, s);
        break;
    case TKind::Custom:
        if (r.Set) r.Set(s);
        break;
    }
}

void Register(TRegistration r) {
    if (!InRange(r.Number)) return;
    Purge();
    auto& list = Registrations();
    if (r.Kind != TKind::Custom && r.Item) {
        // Registered again: keep the German text captured first, since the
        // item may show another language by now.
        for (auto& old : list) {
            if (old.Item == r.Item && old.Kind == r.Kind) {
                old.Number = r.Number;
                Show(old);
                return;
            }
        }
    }
    auto& german = Table().Column[0][r.Number];
    if (german.isEmpty()) german = r.German;
    list.push_back(std::move(r));
    Show(list.back());
}

// Windows-1252 for a line that is not UTF-8; 0x80..0x9F differ from Latin-1.
QString DecodeWindows1252(const std::string& Bytes) {
    static const char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString s;
    s.reserve(static_cast<qsizetype>(Bytes.size()));
    for (unsigned char b : Bytes)
        s.append(QChar(b >= 0x80 && b < 0xA0 ? High[b - 0x80] : b));
    return s;
}

// Splits the file into at most TextCount lines (CR LF, LF or CR end a line),
// dropping NUL bytes and cutting overlong lines. False when it cannot be read.
bool ReadLines(const QString& FileName, std::vector<std::string>& Lines) {
    std::ifstream in(QFile::encodeName(FileName).toStdString(), std::ios::binary);
    if (!in) return false;
    std::string line;
    bool pendingLine = false; // bytes (or an empty line) since the last line end
    bool lastWasCR = false;
    char buf[65536];
    while (Lines.size() < static_cast<size_t>(TextCount)) {
        in.read(buf, sizeof buf);
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        for (std::streamsize i = 0; i < got && Lines.size() < static_cast<size_t>(TextCount); ++i) {
            const char c = buf[i];
            if (c == '\n' && lastWasCR) {
                lastWasCR = false;
                continue;
            }
            lastWasCR = c == '\r';
            if (c == '\r' || c == '\n') {
                Lines.push_back(std::move(line));
                line.clear();
                pendingLine = false;
                continue;
            }
            pendingLine = true;
            if (c != '\0' && line.size() < MaxLineBytes) line.push_back(c);
        }
    }
    if (in.bad()) return false;
    if (pendingLine && Lines.size() < static_cast<size_t>(TextCount)) Lines.push_back(line);
    if (!Lines.empty() && Lines[0].starts_with("\xEF\xBB\xBF")) Lines[0].erase(0, 3);
    return true;
}

} // namespace

QString DecodeFileLine(const std::string& Bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
    if (!utf8.hasError()) return s;
    return DecodeWindows1252(Bytes);
}

QString Text(int n) {
    if (!InRange(n) || (LanguageColumn != 0 && LanguageColumn != 1)) return QStringLiteral("Error");
    return Table().Column[LanguageColumn][n];
}

QString ScreenLines(const QString& S) {
    QString s = S;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(CR, u'\n');
    return s;
}

QString TableText(int n, int Column) {
    if (!InRange(n) || (Column != 0 && Column != 1)) return QStringLiteral("Error");
    return Table().Column[Column][n];
}

void SetTableText(int n, int Column, const QString& S) {
    if (!InRange(n) || (Column != 0 && Column != 1)) return;
    Table().Column[Column][n] = S;
}

void ResetStringTable() {
    Table().Reset();
    LanguageColumn = 0;
}

QString LngToText(const QString& Line) {
    QString s = Line;
    s.replace(Paragraph, CR);
    return s;
}

QString TextToLng(const QString& S) {
    QString s = S;
    s.replace(CR, Paragraph);
    return s;
}

bool WriteLanguageFile(const QString& FileName) {
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (int i = 0; i < TextCount; ++i) {
        bytes += TextToLng(Table().Column[1][i]).toUtf8();
        bytes += '\n';
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int ReadLanguageFile(const QString& FileName) {
    std::vector<std::string> lines;
    if (!ReadLines(FileName, lines)) return -1;
    for (size_t i = 0; i < lines.size(); ++i)
        Table().Column[1][i] = LngToText(DecodeFileLine(lines[i]));
    return static_cast<int>(lines.size());
}

bool SystemLanguageIsGerman() {
    return QLocale::system().language() == QLocale::German;
}

int LanguageColumnFor(QLocale::Language Language) {
    // The C locale speaks English too.
    return Language == QLocale::English || Language == QLocale::C ? 1 : 0;
}

int SystemLanguageColumn() {
    return LanguageColumnFor(QLocale::system().language());
}

void RegisterCaption(QObject* Item, int n) {
    if (!Item) return;
    Register({Item, true, TKind::Caption, n, CaptionOf(Item), {}});
}

void RegisterHint(QObject* Item, int n) {
    if (!Item) return;
    Register({Item, true, TKind::Hint, n, HintOf(Item), {}});
}

void RegisterText(QObject* Owner, int n, const QString& German,
                  std::function<void(const QString&)> Set) {
    if (!Set) return;
    Register({Owner, Owner != nullptr, TKind::Custom, n, German, std::move(Set)});
}

void SetHint(QObject* Item, const QString& Hint) {
    if (!Item) return;
    const qsizetype bar = Hint.indexOf(u'|');
    const QString shortHint = bar < 0 ? Hint : Hint.left(bar);
    const QString longHint = bar < 0 ? Hint : Hint.mid(bar + 1);
    Item->setProperty(HintProperty, Hint);
    if (auto* a = qobject_cast<QAction*>(Item)) {
        a->setToolTip(shortHint);
        a->setStatusTip(longHint);
    } else if (auto* w = qobject_cast<QWidget*>(Item)) {
        w->setToolTip(shortHint);
        w->setStatusTip(longHint);
    }
}

QString HintOf(QObject* Item) {
    if (!Item) return {};
    const QVariant kept = Item->property(HintProperty);
    if (kept.isValid()) return kept.toString();
    // Set without SetHint: rebuild it from the two tips.
    if (auto* a = qobject_cast<QAction*>(Item)) return a->statusTip();
    if (auto* w = qobject_cast<QWidget*>(Item)) {
        const QString shortHint = w->toolTip();
        const QString longHint = w->statusTip();
        if (shortHint == longHint) return shortHint;
        return shortHint + u'|' + longHint;
    }
    return {};
}

namespace {

// Qt's own dialogs (font, colour, file, print preview) speak German only
// through Qt's translations; a language file cannot reach them.
void ApplyQtTranslation() {
    static QPointer<QTranslator> german;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (LanguageColumn == 0) {
        if (german) return;
        auto* t = new QTranslator(app);
        if (t->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
            QCoreApplication::installTranslator(t)) {
            german = t;
        } else {
            delete t;
        }
    } else if (german) {
        QCoreApplication::removeTranslator(german);
        delete german;
    }
}

} // namespace

void ApplyLanguage() {
    ApplyQtTranslation();
    Purge();
    // A setter may create or register items; walk a copy.
    const std::vector<TRegistration> list = Registrations();
    for (const auto& r : list)
        if (r.Alive()) Show(r);
    ApplyMessageDialogLanguage();
}

bool SelectLanguageFile(const QString& FileName) {
    if (FileName.isEmpty()) {
        LanguageColumn = 0;
        ApplyLanguage();
        return true;
    }
    // Each language starts from the built-in English, so that a short file
    // never leaves texts of the language chosen before it.
    const auto saved = Table().Column[1];
    Table().ResetEnglish();
    if (ReadLanguageFile(FileName) < 0) {
        // English needs no file: its texts are built in (the folder may be
        // read-only, so English.lng may be missing).
        if (QFileInfo(FileName).completeBaseName().compare(u"English", Qt::CaseInsensitive) != 0) {
            Table().Column[1] = saved;
            return false;
        }
    }
    LanguageColumn = 1;
    ApplyLanguage();
    return true;
}

QStringList LanguageFiles(const QString& Folder) {
    QDir dir(Folder);
    QStringList names =
        dir.entryList({QStringLiteral("*.lng")}, QDir::Files | QDir::Hidden | QDir::System);
    // English is built in: offered even when English.lng could not be
    // written (a read-only program folder).
    const QString english = QStringLiteral("English.lng");
    if (!names.contains(english, Qt::CaseInsensitive)) names << english;
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QStringList files;
    for (const QString& name : names)
        files << dir.filePath(name);
    return files;
}

QAction* AddLanguageItem(QMenu* Menu, QActionGroup* Group, QAction* Before, int Number,
                         const QString& FileName) {
    QString caption =
        FileName.isEmpty() ? QStringLiteral("Deutsch") : QFileInfo(FileName).completeBaseName();
    caption.replace(u'&', QStringLiteral("&&"));
    auto* item = new QAction(caption, Menu);
    item->setData(FileName);
    item->setCheckable(true);
    if (Group) Group->addAction(item);
    if (Number >= 1 && Number <= 9)
        item->setShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + Number)));
    if (Menu) Menu->insertAction(Before, item);
    return item;
}

QString LanguageItemFile(const QAction* Item) {
    return Item ? Item->data().toString() : QString();
}

QAction* FindLanguageItem(const QList<QAction*>& Items, const QString& Name) {
    for (QAction* item : Items) {
        const QString file = LanguageItemFile(item);
        const QString name =
            file.isEmpty() ? QStringLiteral("Deutsch") : QFileInfo(file).completeBaseName();
        if (name.compare(Name, Qt::CaseInsensitive) == 0) return item;
    }
    return Items.isEmpty() ? nullptr : Items.first();
}
