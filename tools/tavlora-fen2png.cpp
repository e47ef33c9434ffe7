// tavlora-fen2png FEN SIZE OUT.png [--letters] [--arrows e2e4g1f3] [--marks e40d51]
// Draws one position with the built-in piece set into a PNG file.
#include "TFENData.h"

#include <cstdio>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QStringList>

namespace {

constexpr int kMinSize = 18;
constexpr int kMaxSize = 4096;

int Usage(const QString& problem)
{
    if (!problem.isEmpty()) std::fprintf(stderr, "tavlora-fen2png: %s\n", qUtf8Printable(problem));
    std::fprintf(stderr,
                 "usage: tavlora-fen2png FEN SIZE OUT.png [--letters] [--arrows e2e4g1f3] "
                 "[--marks e40d51]\n"
                 "  FEN       the position, for example \"%s\"\n"
                 "  SIZE      picture size in pixels, %d to %d (rounded down to a multiple of 18)\n"
                 "  --letters draw the file letters and rank digits around the board\n"
                 "  --arrows  blue arrows, four characters each (from- and to-square)\n"
                 "  --marks   marked squares, three characters each (square and kind digit:\n"
                 "            0 blue, 1 red)\n",
                 TFENData::kStartFEN, kMinSize, kMaxSize);
    return 2;
}

bool IsSquare(QStringView text)
{
    return text.size() == 2 && text[0] >= u'a' && text[0] <= u'h' && text[1] >= u'1' &&
           text[1] <= u'8';
}

// "e2e4g1f3": four characters per arrow; "-" for none.
bool AddArrows(TFENData& data, const QString& text)
{
    if (text == u"-") return true;
    if (text.isEmpty() || text.size() % 4 != 0) return false;
    for (qsizetype i = 0; i < text.size(); i += 4) {
        const QStringView from = QStringView(text).mid(i, 2), to = QStringView(text).mid(i + 2, 2);
        if (!IsSquare(from) || !IsSquare(to)) return false;
        data.Arrows().AddArrow(StrToFields(from.toString()), StrToFields(to.toString()),
                               BlueSelection);
    }
    return true;
}

// "e40d51": square and kind digit per mark; "-" for none.
bool AddMarks(TFENData& data, const QString& text)
{
    if (text == u"-") return true;
    if (text.isEmpty() || text.size() % 3 != 0) return false;
    for (qsizetype i = 0; i < text.size(); i += 3) {
        const QStringView square = QStringView(text).mid(i, 2);
        const char16_t kind = text.at(i + 2).unicode();
        if (!IsSquare(square) || kind < u'0' || kind >= u'0' + kColorSelectionCount) return false;
        data.SelectedFields.AddSelection(StrToFields(square.toString()),
                                         TColorSelection(kind - u'0'));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Runs headless unless a platform is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    bool letters = false;
    QString arrows, marks;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == u"--letters") {
            letters = true;
        } else if (arg == u"--arrows" || arg == u"--marks") {
            if (i + 1 >= args.size()) return Usage(arg + QStringLiteral(" needs a value"));
            (arg == u"--arrows" ? arrows : marks) = args.at(++i);
        } else if (arg == u"-h" || arg == u"--help") {
            Usage(QString());
            return 0;
        } else if (arg.startsWith(u"--")) {
            return Usage(QStringLiteral("unknown option ") + arg);
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 3) return Usage(QStringLiteral("expected FEN, SIZE and OUT.png"));

    bool sizeOk = false;
    const int size = positional.at(1).toInt(&sizeOk);
    if (!sizeOk || size < kMinSize || size > kMaxSize)
        return Usage(
            QStringLiteral("SIZE must be a number from %1 to %2").arg(kMinSize).arg(kMaxSize));

    TFENData data(positional.at(0));
    if (!data.LoadPiecesFromFile(QStringLiteral(":/pieces/0.pset"))) {
        std::fprintf(stderr, "tavlora-fen2png: the built-in piece set is missing\n");
        return 1;
    }
    if (!arrows.isEmpty() && !AddArrows(data, arrows))
        return Usage(QStringLiteral("bad --arrows text: ") + arrows);
    if (!marks.isEmpty() && !AddMarks(data, marks))
        return Usage(QStringLiteral("bad --marks text: ") + marks);

    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    data.DrawBoardToStream(stream, letters, size, true);
    QImageReader reader(&stream, "bmp");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        std::fprintf(stderr, "tavlora-fen2png: the board picture could not be read: %s\n",
                     qUtf8Printable(reader.errorString()));
        return 1;
    }
    const QString out = positional.at(2);
    if (!picture.save(out, "PNG")) {
        std::fprintf(stderr, "tavlora-fen2png: cannot write %s\n", qUtf8Printable(out));
        return 1;
    }
    return 0;
}
