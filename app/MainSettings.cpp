// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrelbay.ini: read once at start, written once at close. Keys are read
// and written in a fixed order; keys and sections we do not know stay as
// they are in the file.
#include "Main.h"

#include "DialogsLng.h"
#include "IniFile.h"
#include "Local.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstdint>

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

// What a number of the ini may be; anything outside, or not a number, is
// the key's default. The ranges keep window arithmetic far from overflow
// and match what the dialogs that set the values offer.
struct TRange {
    int32_t Min, Max;
};
constexpr TRange AnyColor{0, 0xFFFFFF};
constexpr TRange FontSizes{FontSizeMin, FontSizeMax};
constexpr TRange Positions{-16384, 16384};
constexpr TRange Sizes{0, 16384};
constexpr TRange Languages{-1, 1};
constexpr TRange GameMinutes{1, 1000};
constexpr TRange MoveSeconds{0, 1000};

int32_t ReadInt(const kb::IniFile& Ini, const char* Section, const std::string& Key,
                int32_t Default, TRange Range) {
    const long v = Ini.ReadInteger(Section, Key, Default);
    if (v < Range.Min || v > Range.Max) return Default;
    return static_cast<int32_t>(v);
}

void ReadFont(const kb::IniFile& Ini, const char* Prefix, const char* DefaultName, bool DefaultBold,
              int32_t DefaultColor, kb::TNotationFont& Font) {
    const std::string p = Prefix;
    Font.Font.setFamily(Q(Ini.ReadString(SecOptions, p + "FontName", DefaultName)));
    Font.Font.setPointSize(ReadInt(Ini, SecOptions, p + "FontSize", 10, FontSizes));
    Font.Font.setBold(Ini.ReadBool(SecOptions, p + "FontBold", DefaultBold));
    Font.Color = ColorFromWin(ReadInt(Ini, SecOptions, p + "FontColor", DefaultColor, AnyColor));
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
    // Below one minute is one minute; beyond the time dialog's range, the default.
    GameTime = ReadInt(ini, SecOptions, "GameTime", 5, {INT32_MIN, GameMinutes.Max});
    GameTime = std::max(GameMinutes.Min, GameTime);
    MoveTime = ReadInt(ini, SecOptions, "MoveTime", 5, MoveSeconds);
    mToolbarBelow->setChecked(ini.ReadBool(SecOptions, "ToolbarBelow", false));
    DisableLog = ini.ReadBool(SecOptions, "DisableLog", true);
}

void TMainForm::ReadOptions(const kb::IniFile& Ini) {
    mClickClick->setChecked(Ini.ReadBool(SecOptions, "ClickClick", false));
    ReadFont(Ini, "", "Courier New", true, 0, FontDialog1);
    ReadFont(Ini, "C", "Arial", false, 128, FontDialogComm);

    int column = ReadInt(Ini, SecOptions, "English", -1, Languages);
    if (column == -1) column = SystemLanguageColumn();
    OtherLang = Q(Ini.ReadString(SecOptions, "otherLang", "English"));
    SelectLanguage(column);

    mShowLastMove->setChecked(Ini.ReadBool(SecOptions, "ShowLastMove", false));
    mAnimation->setChecked(Ini.ReadBool(SecOptions, "Animation", true));
    BrettHeight = ReadInt(Ini, SecOptions, "BrettHeight", 0, Sizes);
    BrettWidth = ReadInt(Ini, SecOptions, "BrettWidth", 0, Sizes);
    BrettSize = ReadInt(Ini, SecOptions, "BrettSize", 0, Sizes);
    BrettTop = ReadInt(Ini, SecOptions, "BrettTop", 0, Positions);
    BrettLeft = ReadInt(Ini, SecOptions, "BrettLeft", 0, Positions);
    WhiteOnTop = Ini.ReadBool(SecOptions, "WhiteOnTop", false);
    BoardWindowMaximized = Ini.ReadBool(SecOptions, "BrettMax", false);
    PGNHeight = ReadInt(Ini, SecOptions, "PGNHeight", 0, Sizes);
    PGNWidth = ReadInt(Ini, SecOptions, "PGNWidth", 0, Sizes);
    PGNTop = ReadInt(Ini, SecOptions, "PGNTop", 0, Positions);
    PGNLeft = ReadInt(Ini, SecOptions, "PGNLeft", 0, Positions);
    DatabaseHeight = ReadInt(Ini, SecOptions, "DatabaseHeight", 0, Sizes);
    DatabaseWidth = ReadInt(Ini, SecOptions, "DatabaseWidth", 0, Sizes);
    MainHeight = ReadInt(Ini, SecOptions, "MainHeight", 0, Sizes);
    MainWidth = ReadInt(Ini, SecOptions, "MainWidth", 0, Sizes);
    MainTop = ReadInt(Ini, SecOptions, "MainTop", 0, Positions);
    MainLeft = ReadInt(Ini, SecOptions, "MainLeft", 0, Positions);
    BlackSquare = ReadInt(Ini, SecOptions, "BlackSquare", 0, AnyColor);
    WhiteSquare = ReadInt(Ini, SecOptions, "WhiteSquare", 0, AnyColor);
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
