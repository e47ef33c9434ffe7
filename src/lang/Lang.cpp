#include "Lang.h"

#include "TextFile.h"
#include "TNameValueList.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QReadWriteLock>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcLang, "tavlora.lang")

namespace {

struct TLangState
{
    QReadWriteLock Lock;
    QString Code;
    QString Folder;
    // Case-folded key to raw value; the first line of a key counts.
    QHash<QString, QString> Table;
};

TLangState& State()
{
    static TLangState state;
    return state;
}

QHash<QString, QString> ParseTable(const QString& text)
{
    const TNameValueList lines(TextFile::SplitLines(text));
    QHash<QString, QString> table;
    for (int i = 0; i < lines.Count(); ++i) {
        if (!lines.Line(i).contains(u'='))
            continue; // free text, such as the first line of the Russian table
        const QString key = lines.Name(i).toCaseFolded();
        if (!table.contains(key)) table.insert(key, lines.ValueFromIndex(i));
    }
    return table;
}

// Reads a table file; false when it is missing, unreadable or holds no key=value line.
bool ReadTableFile(const QString& path, QHash<QString, QString>& table)
{
    if (!QFileInfo(path).isFile()) return false;
    QString text;
    if (!TextFile::ReadText(path, text)) {
        qCWarning(lcLang) << "cannot read" << path;
        return false;
    }
    if (text.contains(QChar::ReplacementCharacter))
        qCWarning(lcLang) << path << "is not valid UTF-8; the broken bytes show as U+FFFD";
    table = ParseTable(text);
    if (table.isEmpty()) {
        qCWarning(lcLang) << path << "holds no key=value line";
        return false;
    }
    return true;
}

// A code names a file in the language folder, so it may not lead out of it.
bool IsSafeCode(const QString& code)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,16}$"));
    return pattern.match(code).hasMatch();
}

} // namespace

QString LangValue(const QString& key)
{
    TLangState& state = State();
    QReadLocker lock(&state.Lock);
    return state.Table.value(key.toCaseFolded());
}

QString Lang(const QString& key)
{
    const QString value = LangValue(key);
    return value.isEmpty() ? key : value;
}

void LoadLanguage(const QString& code)
{
    TLangState& state = State();
    const QString folder = LanguageFolder();
    QHash<QString, QString> table;
    QString active = code;
    if (!IsSafeCode(code) || !ReadTableFile(folder + code + QStringLiteral(".lng"), table)) {
        active = QStringLiteral("en");
        if (!ReadTableFile(folder + QStringLiteral("en.lng"), table))
            table =
                ParseTable(TextFile::DecodeUtf8(BuiltInLanguageTable(QStringLiteral("en_lng"))));
        if (code != active)
            qCInfo(lcLang) << "no usable table for" << code << "in" << folder
                           << "- English instead";
    }
    QWriteLocker lock(&state.Lock);
    state.Code = active;
    state.Table = std::move(table);
}

QString ActiveLanguageCode()
{
    TLangState& state = State();
    QReadLocker lock(&state.Lock);
    return state.Code;
}

void SetLanguageFolder(const QString& folder)
{
    TLangState& state = State();
    QWriteLocker lock(&state.Lock);
    state.Folder = folder;
}

QString LanguageFolder()
{
    TLangState& state = State();
    QReadLocker lock(&state.Lock);
    return state.Folder;
}

bool FillLanguageList(QStringList& items)
{
    items.clear();
    const QString folder = LanguageFolder();
    const TNameValueList list(TextFile::SplitLines(
        TextFile::DecodeUtf8(BuiltInLanguageTable(QStringLiteral("lng_list")))));
    for (int i = 0; i < list.Count(); ++i) {
        const QString resource = list.Name(i);
        if (resource.isEmpty() || !list.Line(i).contains(u'=')) continue;
        const QByteArray bytes = BuiltInLanguageTable(resource);
        QString error;
        if (bytes.isEmpty() ||
            !TextFile::WriteBytes(folder + list.ValueFromIndex(i), bytes, &error)) {
            qCWarning(lcLang) << "cannot write the language table" << resource << "into" << folder
                              << error;
            return false;
        }
        const QHash<QString, QString> table = ParseTable(TextFile::DecodeUtf8(bytes));
        items.append(table.value(QStringLiteral("namelanguage")));
    }
    return true;
}

int FindLanguageItem(const QStringList& items, const QString& code)
{
    // An empty code holds nowhere.
    const auto find = [&items](const QString& what) {
        for (qsizetype i = items.size() - 1; i >= 0 && !what.isEmpty(); --i)
            if (items[i].right(3).contains(what)) return int(i);
        return -1;
    };
    const int index = find(code);
    return index >= 0 ? index : find(QStringLiteral("en"));
}

QString LanguageCodeOfItem(const QString& displayName)
{
    return displayName.right(2);
}

TLangValue DecodeLangValue(const QString& value)
{
    TLangValue decoded;
    const QStringList parts = value.split(u'|');
    decoded.Text = parts.value(0);
    if (parts.size() >= 2) {
        decoded.HasHint = true;
        decoded.Hint = parts[1];
    }
    return decoded;
}

QByteArray BuiltInLanguageTable(const QString& name)
{
    static const QHash<QString, QString> files = {
        {QStringLiteral("lng_list"), QStringLiteral(":/lang/lng_list")},
        {QStringLiteral("en_lng"), QStringLiteral(":/lang/en.lng")},
        {QStringLiteral("ru_lng"), QStringLiteral(":/lang/ru.lng")},
    };
    QFile file(files.value(name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}
