// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrelbay.ini: read once at start, written once at close. Keys are read
// and written in a fixed order; keys and sections we do not know stay as
// they are in the file.
#include "Main.h"

#include "IniFile.h"
#include "Local.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {

constexpr const char* SecHistory = "History";
constexpr const char* SecOptions = "Options";
constexpr const char* SecWBEngines = "WBEngines";
constexpr int HistorySize = 16;
constexpr int EngineSlots = 8;

std::string S(const QString& Text) {
    return Text.toStdString();
}
// An ini brought from Windows holds its paths and names in Windows-1252.
QString Q(const std::string& Text) {
    return DecodeFileLine(Text);
}

int32_t ReadInt(const kb::IniFile& Ini, const char* Section, const std::string& Key,
                int32_t Default) {
    const long v = Ini.ReadInteger(Section, Key, Default);
    // Values beyond 32 bits are not ours: the default, as for any other bad number.
    if (v < INT32_MIN || v > INT32_MAX) return Default;
    return static_cast<int32_t>(v);
}

void ReadFont(const kb::IniFile& Ini, const char* Prefix, const char* DefaultName, bool DefaultBold,
              int32_t DefaultColor, kb::TNotationFont& Font) {
    const std::string p = Prefix;
    Font.Font.setFamily(Q(Ini.ReadString(SecOptions, p + "FontName", DefaultName)));
    Font.Font.setPointSize(std::max(1, ReadInt(Ini, SecOptions, p + "FontSize", 10)));
    Font.Font.setBold(Ini.ReadBool(SecOptions, p + "FontBold", DefaultBold));
    Font.Color = ColorFromWin(ReadInt(Ini, SecOptions, p + "FontColor", DefaultColor));
}

void WriteFont(kb::IniFile& Ini, const char* Prefix, const kb::TNotationFont& Font) {
    const std::string p = Prefix;
    Ini.WriteString(SecOptions, p + "FontName", S(Font.Font.family()));
    Ini.WriteInteger(SecOptions, p + "FontSize", std::max(1, Font.Font.pointSize()));
    Ini.WriteBool(SecOptions, p + "FontBold", Font.Font.bold());
    Ini.WriteInteger(SecOptions, p + "FontColor", ColorToWin(Font.Color));
}

} // namespace

QColor ColorFromWin(int32_t Color) {
    const auto c = static_cast<uint32_t>(Color);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int32_t ColorToWin(const QColor& Color) {
    return static_cast<int32_t>(static_cast<uint32_t>(Color.red()) |
                                (static_cast<uint32_t>(Color.green()) << 8) |
                                (static_cast<uint32_t>(Color.blue()) << 16));
}

void TMainForm::ReadIni() {
    const kb::IniFile ini(S(IniFileName()));

    History.clear();
    for (int i = 0; i < HistorySize; ++i)
        History << Q(ini.ReadString(SecHistory, "File" + std::to_string(i), ""));
    SaveDataBase = Q(ini.ReadString(SecHistory, "SaveDataBase", ""));

    ReadOptions(ini);
    ReadEngine(ini);

    WBEngines.clear();
    for (int i = 0; i < EngineSlots; ++i) {
        const std::string e = ini.ReadString(SecWBEngines, "WBEngine" + std::to_string(i), "");
        if (!e.empty()) WBEngines << Q(e);
    }

    m1Echecs->setChecked(ini.ReadBool(SecOptions, "1Echecs", true));
    mChessMerida->setChecked(!m1Echecs->isChecked());
    GameTime = std::max<int32_t>(1, ReadInt(ini, SecOptions, "GameTime", 5));
    // A negative time per move makes no sense to the clocks.
    MoveTime = std::max<int32_t>(0, ReadInt(ini, SecOptions, "MoveTime", 5));
    mToolbarBelow->setChecked(ini.ReadBool(SecOptions, "ToolbarBelow", false));
    DisableLog = ini.ReadBool(SecOptions, "DisableLog", true);
}

void TMainForm::ReadOptions(const kb::IniFile& Ini) {
    mClickClick->setChecked(Ini.ReadBool(SecOptions, "ClickClick", false));
    ReadFont(Ini, "", "Courier New", true, 0, FontDialog1);
    ReadFont(Ini, "C", "Arial", false, 128, FontDialogComm);

    int column = ReadInt(Ini, SecOptions, "English", -1);
    if (column == -1) column = SystemLanguageColumn();
    OtherLang = Q(Ini.ReadString(SecOptions, "otherLang", "English"));
    SelectLanguage(column);

    mShowLastMove->setChecked(Ini.ReadBool(SecOptions, "ShowLastMove", false));
    mAnimation->setChecked(Ini.ReadBool(SecOptions, "Animation", true));
    BrettHeight = ReadInt(Ini, SecOptions, "BrettHeight", 0);
    BrettWidth = ReadInt(Ini, SecOptions, "BrettWidth", 0);
    BrettSize = ReadInt(Ini, SecOptions, "BrettSize", 0);
    BrettTop = ReadInt(Ini, SecOptions, "BrettTop", 0);
    BrettLeft = ReadInt(Ini, SecOptions, "BrettLeft", 0);
    WhiteOnTop = Ini.ReadBool(SecOptions, "WhiteOnTop", false);
    BoardWindowMaximized = Ini.ReadBool(SecOptions, "BrettMax", false);
    PGNHeight = ReadInt(Ini, SecOptions, "PGNHeight", 0);
    PGNWidth = ReadInt(Ini, SecOptions, "PGNWidth", 0);
    PGNTop = ReadInt(Ini, SecOptions, "PGNTop", 0);
    PGNLeft = ReadInt(Ini, SecOptions, "PGNLeft", 0);
    DatabaseHeight = ReadInt(Ini, SecOptions, "DatabaseHeight", 0);
    DatabaseWidth = ReadInt(Ini, SecOptions, "DatabaseWidth", 0);
    MainHeight = ReadInt(Ini, SecOptions, "MainHeight", 0);
    MainWidth = ReadInt(Ini, SecOptions, "MainWidth", 0);
    MainTop = ReadInt(Ini, SecOptions, "MainTop", 0);
    MainLeft = ReadInt(Ini, SecOptions, "MainLeft", 0);
    BlackSquare = ReadInt(Ini, SecOptions, "BlackSquare", 0);
    WhiteSquare = ReadInt(Ini, SecOptions, "WhiteSquare", 0);
    DatabaseWinEnabled = Ini.ReadBool(SecOptions, "DatabaseWinEnabled", false);
    DatabaseFolder = Q(Ini.ReadString(SecOptions, "DatabaseFolder", ""));
    figK = Ini.ReadString(SecOptions, "figK", "");
    figQ = Ini.ReadString(SecOptions, "figQ", "");
    figR = Ini.ReadString(SecOptions, "figR", "");
    figB = Ini.ReadString(SecOptions, "figB", "");
    figN = Ini.ReadString(SecOptions, "figN", "");
    figP = Ini.ReadString(SecOptions, "figP", "");
    InformantSigns = Ini.ReadString(SecOptions, "InformantSigns", "");
}

void TMainForm::ReadEngine(const kb::IniFile& Ini) {
    EngineFromIni = ReadEngineSection(Ini, EngineInfo);
}

bool TMainForm::WriteIni() {
    // Start from the file as it is now, so that whatever else it holds stays.
    kb::IniFile ini(S(IniFileName()));
    if (ini.ReadFailed()) return false;

    for (int i = 0; i < HistorySize; ++i)
        ini.WriteString(SecHistory, "File" + std::to_string(i),
                        i < History.size() ? S(History[i]) : std::string());
    ini.WriteString(SecHistory, "SaveDataBase", S(SaveDataBase));

    WriteOptions(ini);

    for (int i = 0; i < EngineSlots; ++i)
        ini.WriteString(SecWBEngines, "WBEngine" + std::to_string(i),
                        i < WBEngines.size() ? S(WBEngines[i]) : std::string());

    ini.WriteBool(SecOptions, "1Echecs", m1Echecs->isChecked());
    ini.WriteInteger(SecOptions, "GameTime", GameTime);
    ini.WriteInteger(SecOptions, "MoveTime", MoveTime);
    ini.WriteBool(SecOptions, "ToolbarBelow", mToolbarBelow->isChecked());
    return ini.UpdateFile();
}

void TMainForm::WriteOptions(kb::IniFile& Ini) {
    Ini.WriteBool(SecOptions, "DatabaseWinEnabled", DatabaseWinEnabled);
    Ini.WriteString(SecOptions, "DatabaseFolder", S(DatabaseFolder));
    Ini.WriteBool(SecOptions, "ClickClick", mClickClick->isChecked());
    WriteFont(Ini, "", FontDialog1);
    WriteFont(Ini, "C", FontDialogComm);
    Ini.WriteInteger(SecOptions, "English", LanguageColumn);
    Ini.WriteString(SecOptions, "otherLang", S(OtherLang));
    Ini.WriteBool(SecOptions, "ShowLastMove", mShowLastMove->isChecked());
    Ini.WriteBool(SecOptions, "Animation", mAnimation->isChecked());
    Ini.WriteInteger(SecOptions, "BrettHeight", BrettHeight);
    Ini.WriteInteger(SecOptions, "BrettWidth", BrettWidth);
    Ini.WriteInteger(SecOptions, "BrettSize", BrettSize);
    Ini.WriteInteger(SecOptions, "BrettTop", BrettTop);
    Ini.WriteInteger(SecOptions, "BrettLeft", BrettLeft);
    Ini.WriteBool(SecOptions, "WhiteOnTop", WhiteOnTop);
    Ini.WriteBool(SecOptions, "BrettMax", BoardWindowMaximized);
    Ini.WriteInteger(SecOptions, "PGNHeight", PGNHeight);
    Ini.WriteInteger(SecOptions, "PGNWidth", PGNWidth);
    Ini.WriteInteger(SecOptions, "PGNTop", PGNTop);
    Ini.WriteInteger(SecOptions, "PGNLeft", PGNLeft);
    Ini.WriteInteger(SecOptions, "DatabaseHeight", DatabaseHeight);
    Ini.WriteInteger(SecOptions, "DatabaseWidth", DatabaseWidth);
    // A maximized or minimized frame keeps the size it had when last normal.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
        Ini.WriteInteger(SecOptions, "MainHeight", height());
        Ini.WriteInteger(SecOptions, "MainWidth", width());
        Ini.WriteInteger(SecOptions, "MainTop", y());
        Ini.WriteInteger(SecOptions, "MainLeft", x());
    }
    Ini.WriteInteger(SecOptions, "BlackSquare", BlackSquare);
    Ini.WriteInteger(SecOptions, "WhiteSquare", WhiteSquare);
    Ini.WriteString(SecOptions, "figK", figK);
    Ini.WriteString(SecOptions, "figQ", figQ);
    Ini.WriteString(SecOptions, "figR", figR);
    Ini.WriteString(SecOptions, "figB", figB);
    Ini.WriteString(SecOptions, "figN", figN);
    Ini.WriteString(SecOptions, "figP", figP);
    Ini.WriteString(SecOptions, "InformantSigns", InformantSigns);
}

void TMainForm::ApplyMainGeometry() {
    QRect r = geometry();
    if (MainHeight > 100) r.setHeight(MainHeight);
    if (MainWidth > 100) r.setWidth(MainWidth);
    r.moveTo(MainLeft, MainTop);

    // The saved place may belong to another monitor setup: keep the frame on
    // the screen it was on, or on the primary screen, and inside its free area.
    QScreen* screen = QGuiApplication::screenAt(r.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect avail = screen->availableGeometry();
        r.setWidth(std::min(r.width(), avail.width()));
        r.setHeight(std::min(r.height(), avail.height()));
        if (r.left() < avail.left() || r.right() > avail.right()) r.moveLeft(avail.left());
        if (r.top() < avail.top() || r.bottom() > avail.bottom()) r.moveTop(avail.top());
    }
    resize(r.size());
    move(r.topLeft());
}
