// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinHost.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <map>
#include <utility>

namespace kb {

namespace {

// The texts of the list and database windows, German and English, for the
// time the window runs without the program's string table.
const std::map<int, std::pair<const char*, const char*>>& BuiltInTexts() {
    static const std::map<int, std::pair<const char*, const char*>> t = {
        {8, {"Soll die Datei \"", "Create new file \""}},
        {9, {"\" neu angelegt werden?", "\"?"}},
        {10, {"Wirklich löschen?", "Are you sure that you want to delete the game(s)?"}},
        {11,
         {"Soll die gesamte Datenbank wirklich gelöscht werden?",
          "Are you sure that you want to delete the whole database??"}},
        {12,
         {"Aus dieser Datenbank sind noch Partien geöffnet.\rWird sie geschlossen, müssen Sie "
          "diese Partien an diese oder eine andere Datenbank anhängen.\rSoll sie trotzdem "
          "geschlossen werden?",
          "Games are opened from this database.\rIf you close it, the games must be appended to "
          "this or another database later.\rShall this database be closed?"}},
        {15, {"Die Datenbank \"", "The database \""}},
        {16, {"\" ist bereits geöffnet.", "\" is already opened."}},
        {17, {"Markierte Partien werden an die Datei \"", "Selected games will be appended to \""}},
        {18, {"\" angehängt.\rFortfahren?", "\".\rContinue?"}},
        {19, {"Beim Speichern ist ein Fehler aufgetreten.", "An error occurred when saving."}},
        {60, {"Datenbanken (Doppelklick zum Öffnen)", "Databases (double click to open a file)"}},
        {61,
         {"Diese Liste akzeptiert Drag&&Drop.",
          "|This list accepts Drag&&Drop of games from a database window"}},
        {62, {"Nr.", "No."}},
        {63, {"Spieler", "Players"}},
        {64, {"Quelle", "Event"}},
        {65, {"Jahr", "Date"}},
        {66, {"Ergebnis", "Result"}},
        {67, {"|Sortieren...", "|Sort..."}},
        {68, {"Spieler:", "Player:"}},
        {69, {"Ereignis:", "Event:"}},
        {70, {"Weiß", "White"}},
        {71, {"Schwarz", "Black"}},
        {72, {"Beide", "Both"}},
        {73, {"Zeitraum:", "Date:"}},
        {74, {"Stellung", "Position"}},
        {76, {"Alles Leer", "Clear"}},
        {77, {"Filtern", "Filter"}},
        {78,
         {"Öffnen|KBF/PGN-Datei öffnen oder neu anlegen",
          "Open|Open a KBF/PGN-file or create new one"}},
        {79, {"Filter|Filter ein- oder ausschalten", "Filter|Activate or deactivate filter"}},
        {80,
         {"Drag and Drop|Gedrückt = Partien werden an der Mausposition eingefügt",
          "Drag and Drop|Down = Games will be inserted at mouse position"}},
        {81, {"Drucken|Partie mit Diagrammen drucken", "Print|Print game with diagrams"}},
        {82, {"Partie löschen", "Delete game"}},
        {83, {"Datenbank löschen", "Delete database"}},
        {171,
         {"Allen Partien aus dieser Datenbank wird der ECO-Code zugeordnet.\rWeitermachen?",
          "Now the ECO-code will be assigned to all games of this database.\rContinue?"}},
        {172, {"Eröffnungen bestimmen", "Analyze openings"}},
        {227,
         {"Datenbank komprimieren; gelöschte Partien entfernen",
          "Compress database; remove deleted games"}},
        {228,
         {"Fehler in der Datenbank. Eine neue Index-Datei wird nun erstellt - es könnte einige "
          "Zeit in Anspruch nehmen.",
          "Error in database. Index file will be recreated - it could take a longer while."}},
        {229,
         {"Soll die Datenbank komprimiert und gelöschte Partien endgültig entfernt werden?",
          "Shall the database be compressed and deleted games irrecoverably be removed?"}},
        {244, {"Material", "Material"}},
        {246,
         {"Wirklich UNWIDERRUFLICH löschen?",
          "Are you sure that you want to delete the game(s) IRRECOVERABLY?"}},
        {248, {"Historie", "History"}},
        {249, {"Neue PGN", "New PGN"}},
        {250, {"Neue KBF", "New KBF"}},
        {251, {"Neue Datenbank", "New Database"}},
        {252, {"Bitte geben Sie einen Dateinamen an:", "Please enter a file name:"}},
    };
    return t;
}

bool g_stop = false;
bool g_busy = false;
int g_column = 0;
QStringList g_history;
QRect g_listGeometry(0, 0, 0, 0);
QRect g_databaseGeometry(0, 0, 0, 0);
QString g_databaseFolder;

QMessageBox::Icon IconOf(TLwMsgType T) {
    switch (T) {
    case TLwMsgType::Warning:
        return QMessageBox::Warning;
    case TLwMsgType::Error:
        return QMessageBox::Critical;
    case TLwMsgType::Information:
        return QMessageBox::Information;
    case TLwMsgType::Confirmation:
        break;
    }
    return QMessageBox::Question;
}

void SafeProcessMessages() {
    g_busy = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    g_busy = false;
}

TListHost Defaults() {
    TListHost h;
    h.Text = [](int N) {
        auto it = BuiltInTexts().find(N);
        if (it == BuiltInTexts().end()) return QStringLiteral("Error");
        return QString::fromUtf8(g_column == 0 ? it->second.first : it->second.second);
    };
    h.LanguageColumn = [] { return g_column; };
    h.Message = [](QWidget* Parent, TLwMsgType Type, const QString& Text, int Buttons) {
        QMessageBox box(IconOf(Type), QApplication::applicationName(),
                        QString(Text).replace(QLatin1Char('\r'), QLatin1Char('\n')),
                        QMessageBox::NoButton, Parent);
        std::map<QAbstractButton*, int> answers;
        for (int b : {lbYes, lbNo, lbOK, lbCancel}) {
            if (!(Buttons & b)) continue;
            QMessageBox::StandardButton sb = b == lbYes  ? QMessageBox::Yes
                                             : b == lbNo ? QMessageBox::No
                                             : b == lbOK ? QMessageBox::Ok
                                                         : QMessageBox::Cancel;
            answers[box.addButton(sb)] = b;
        }
        box.exec();
        auto it = answers.find(box.clickedButton());
        return it == answers.end() ? int(lbNone) : it->second;
    };
    h.InputQuery = [](QWidget* Parent, const QString& Title, const QString& Prompt,
                      QString& Value) {
        bool ok = false;
        QString v = QInputDialog::getText(Parent, Title, Prompt, QLineEdit::Normal, Value, &ok);
        if (ok) Value = v;
        return ok;
    };
    h.PGNTrace = [](TPGN*, int, TCancelMode& CancelMode) {
        if (CancelMode == cmNoCancel) return;
        SafeProcessMessages();
        if (g_stop) CancelMode = cmCancel;
    };
    h.Busy = [] { return g_busy; };
    h.StopRequested = [] { return g_stop; };
    h.SetStopRequested = [](bool V) { g_stop = V; };
    h.LockBoards = [](bool) {};
    h.Log = [](const QString&) {};
    h.BackupHint = [](bool) {};
    h.MainClosing = [] { return false; };
    h.BoundBoards = [](TPGN*) { return 0; };
    h.ReleaseBoards = [](TPGN*) {};
    h.OpenBoardWindow = [](TPGN*, const std::string&, int) {};
    h.OpenListWindow = [](const QString&) {};
    h.WindowOpenFor = [](const QString&) { return false; };
    h.AddToHistory = [](const QString& F) {
        if (F.isEmpty()) return;
        const QString e = LwHistoryEntry(F);
        for (const auto& x : g_history)
            if (x.compare(e, Qt::CaseInsensitive) == 0) return;
        g_history.prepend(e);
        while (g_history.size() > 16)
            g_history.removeLast();
    };
    h.RemoveFromHistory = [](const QString& F) {
        const QString e = LwHistoryEntry(F);
        for (qsizetype i = 0; i < g_history.size(); ++i)
            if (g_history[i].compare(e, Qt::CaseInsensitive) == 0) {
                g_history.removeAt(i);
                return;
            }
    };
    h.History = [] { return g_history; };
    h.DeleteFileLater = [](const QString& F) {
        QTimer::singleShot(0, qApp, [F] {
            QFile::remove(F);
            ListHost().RemoveFromHistory(F);
        });
    };
    h.ListGeometry = [] { return g_listGeometry; };
    h.SetListGeometry = [](const QRect& R) { g_listGeometry = R; };
    h.DatabaseGeometry = [] { return g_databaseGeometry; };
    h.SetDatabaseGeometry = [](const QRect& R) { g_databaseGeometry = R; };
    h.DatabaseFolder = [] { return g_databaseFolder; };
    h.SetDatabaseFolder = [](const QString& F) { g_databaseFolder = F; };
    h.ToolbarBelow = [] { return false; };
    h.NotationFont = [] { return QFont(QStringLiteral("DejaVu Sans"), 10); };
    h.MainClientSize = [] { return QSize(4000, 4000); };
    h.ProgramDir = [] { return QCoreApplication::applicationDirPath(); };
    return h;
}

} // namespace

TListHost& ListHost() {
    static TListHost host = Defaults();
    return host;
}

void ResetListHost() {
    g_stop = false;
    g_busy = false;
    g_column = 0;
    g_history.clear();
    ListHost() = Defaults();
}

QString LwText(int N) {
    return ListHost().Text(N);
}

int LwLanguageColumn() {
    return ListHost().LanguageColumn();
}

void LwSetLanguageColumn(int Column) {
    g_column = Column;
}

int LwMessage(QWidget* Parent, TLwMsgType Type, const QString& Text, int Buttons) {
    return ListHost().Message(Parent, Type, Text, Buttons);
}

QString LwHistoryEntry(const QString& FileName) {
    const int slash = static_cast<int>(FileName.lastIndexOf(QLatin1Char('/')));
    return FileName.mid(slash + 1) + QStringLiteral("   \"") + FileName + QLatin1Char('"');
}

QString LwHistoryEntryPath(const QString& Entry) {
    const qsizetype q = Entry.indexOf(QLatin1Char('"'));
    if (q < 0) return {};
    QString rest = Entry.mid(q + 1);
    rest.chop(1);
    return rest;
}

} // namespace kb
