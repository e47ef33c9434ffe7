#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The active language table: one per process, replaced by every load. Safe to read from any
// thread.

// The text of a key, or the key itself when the table has no text for it. Letter case of the
// key does not matter.
QString Lang(const QString& key);
// The raw value of a key (text, "|", hint), empty when there is none.
QString LangValue(const QString& key);

// Loads <code>.lng from the language folder. Without that file (or when it holds no key=value
// line at all) the active code becomes "en" and en.lng is read, or else the built-in English
// table.
void LoadLanguage(const QString& code);
QString ActiveLanguageCode();

// The folder of the .lng files, with its trailing delimiter.
void SetLanguageFolder(const QString& folder);
QString LanguageFolder();

// Writes every built-in table into the language folder (replacing what is there) and lists
// their display names in the items. False when a write failed; the items listed so far stay.
bool FillLanguageList(QStringList& items);
// The item to select for a language code: the last whose display name holds the code in its
// last three characters, else the last holding "en" there, else -1.
int FindLanguageItem(const QStringList& items, const QString& code);
// The code of a display name ("Русский (Russian) - ru" gives "ru").
QString LanguageCodeOfItem(const QString& displayName);

// A value split at "|": the text, and the hint when there is one.
struct TLangValue
{
    QString Text;
    QString Hint;
    bool HasHint = false;
};
TLangValue DecodeLangValue(const QString& value);

// The bytes of a built-in table ("lng_list", "en_lng", "ru_lng"), empty for other names.
QByteArray BuiltInLanguageTable(const QString& name);
