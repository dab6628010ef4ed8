// SPDX-License-Identifier: GPL-3.0-or-later
// The string table: 260 numbered texts in two columns, column 0 German and
// column 1 the other language (English unless a .lng file replaced it).
// Text(n) reads the current column.
//
// Captions and hints of windows go through one registration mechanism:
//
//   mOptions->setTitle("&Optionen");      // the German design-time text
//   RegisterCaption(mOptions, 25);         // once, after setting it
//   SetHint(sbOpen, "Öffnen|KBF/PGN-Datei öffnen");
//   RegisterHint(sbOpen, 78);
//   RegisterText(this, 62, "Nr.", [h](const QString& s) { h->setText(0, s); });
//
// Registering captures the item's German text (filling column 0 of its
// number while that is still empty) and shows the current language at once.
// ApplyLanguage() walks every registration of every open window; a
// registration ends when its object is destroyed. Switching back to German
// restores each item's own captured text. Windows write no language switch
// of their own.
//
// Hints are "short|long" as in the string table: the short part becomes
// the tooltip, the long part the status tip (shown in the status line).
// A hint without "|" is both.
#pragma once

#include <QList>
#include <QLocale>
#include <QString>

#include <functional>
#include <string>

class QAction;
class QActionGroup;
class QMenu;
class QObject;

constexpr int TextCount = 260;

// 0 German, 1 the other language. Text() answers "Error" for other values.
extern int LanguageColumn;

// Entry n of the current column; "Error" outside 0..259.
QString Text(int n);

// Qt breaks lines at LF only: the table's CR made LF, for labels and
// message texts.
QString ScreenLines(const QString& S);

// Entry n of the given column, and writing it; out of range reads as
// "Error" and writes nothing.
QString TableText(int n, int Column);
void SetTableText(int n, int Column, const QString& S);

// Puts the built-in texts back (column 0 empty where windows fill it) and
// selects column 0. The program calls it never; tests between cases.
void ResetStringTable();

// "§" in a .lng line is a carriage return in the table, and back.
QString LngToText(const QString& Line);
QString TextToLng(const QString& S);

// Writes column 1 as a language file (260 lines, UTF-8) through a
// temporary file. False when it could not be written; nothing else changes.
bool WriteLanguageFile(const QString& FileName);

// Reads a language file into column 1: line i replaces entry i for the
// first 260 lines; entries beyond the file's end keep their text. Lines
// are UTF-8, or Windows-1252 where a line is not valid UTF-8. Returns the
// number of lines used, or -1 when the file cannot be read (table unchanged).
int ReadLanguageFile(const QString& FileName);

// A line of a file that may have been written on Windows (language files,
// the ini): UTF-8, or Windows-1252 where the bytes are not valid UTF-8.
QString DecodeFileLine(const std::string& Bytes);

// The system's language decides the first start's language: the other
// column (English unless chosen otherwise) when it is English, else German.
bool SystemLanguageIsGerman();
int LanguageColumnFor(QLocale::Language Language);
int SystemLanguageColumn();

// Registration of captionable items (see above). Item kinds for captions:
// QAction text, QMenu title, button and label text, group box title; any
// other widget takes its window title. Numbers outside 0..259 are ignored.
void RegisterCaption(QObject* Item, int n);
void RegisterHint(QObject* Item, int n);
// Anything else (header sections, dialog titles, filters): German is the
// design-time text, Set shows a text. Owner ends the registration when it
// is destroyed; nullptr keeps it for the program's lifetime.
void RegisterText(QObject* Owner, int n, const QString& German,
                  std::function<void(const QString&)> Set);

// Hint of a widget or action in the "short|long" form, and setting it.
void SetHint(QObject* Item, const QString& Hint);
QString HintOf(QObject* Item);

// Shows the current column on every registered item and fills the message
// dialog's captions and buttons (entries 175-189).
void ApplyLanguage();

// Selects a language: an empty file name is German (column 0); otherwise
// the file is read into column 1 and column 1 chosen. Then ApplyLanguage().
// False when the file could not be read (the language stays as it was).
bool SelectLanguageFile(const QString& FileName);

// Language menu items. The file name sits in the action's data (empty for
// "Deutsch"), never taken from the caption.
//
// LanguageFiles: the .lng files of a folder, sorted by name; English.lng is
// among them even when missing, since English needs no file.
QStringList LanguageFiles(const QString& Folder);
// One radio item of Group, inserted into Menu before Before (or appended):
// caption the file's base name ("Deutsch" for an empty file name), shortcut
// Alt+Number while Number is a single digit.
QAction* AddLanguageItem(QMenu* Menu, QActionGroup* Group, QAction* Before, int Number,
                         const QString& FileName);
// The file name of an item made by AddLanguageItem.
QString LanguageItemFile(const QAction* Item);
// The item whose language name ("Deutsch" or the file's base name) equals
// Name, ignoring case, else the first item; nullptr for an empty list.
QAction* FindLanguageItem(const QList<QAction*>& Items, const QString& Name);
