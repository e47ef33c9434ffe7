// Writes the four built-in sounds (RIFF WAVE, PCM, 16 bits, 44100 samples per second) into a
// folder:  tavlora-soundgen resources/sounds
// The sounds are synthesised from a few decaying partials, so they are ours and reproducible:
// the same program always writes the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct Partial
{
    double Ratio;  // to the note's frequency
    double Amp;    // relative loudness
    double DecayS; // time constant of the exponential decay
};

// Stereo buffer; mono sounds use the left channel only.
struct Buffer
{
    explicit Buffer(double seconds) : Left(size_t(std::lround(seconds * kRate))), Right(Left) {}
    std::vector<double> Left;
    std::vector<double> Right;
};

// One struck note: a short attack, then every partial dies away on its own.
void AddNote(Buffer& out, double startS, double freq, double gain, double pan,
             const std::vector<Partial>& partials, double attackS = 0.004)
{
    const size_t start = size_t(std::lround(startS * kRate));
    for (size_t i = start; i < out.Left.size(); ++i) {
        const double t = double(i - start) / kRate;
        const double attack = std::min(1.0, t / attackS);
        double v = 0;
        for (const Partial& p : partials)
            v += p.Amp * std::exp(-t / p.DecayS) * std::sin(2 * kPi * freq * p.Ratio * t);
        v *= gain * attack;
        // Constant-power panning: pan -1 is left, +1 is right.
        const double angle = (pan + 1) * kPi / 4;
        out.Left[i] += v * std::cos(angle) * std::sqrt(2.0);
        out.Right[i] += v * std::sin(angle) * std::sqrt(2.0);
    }
}

// A few milliseconds of soft noise, the knock of a piece put on the board.
void AddKnock(Buffer& out, double gain)
{
    uint32_t seed = 12345;
    const size_t length = size_t(0.006 * kRate);
    double low = 0;
    for (size_t i = 0; i < length && i < out.Left.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(seed >> 8) / double(1u << 24) * 2 - 1;
        low += 0.25 * (noise - low); // a gentle low-pass keeps it from hissing
        const double v = low * gain * std::exp(-double(i) / (0.0015 * kRate));
        out.Left[i] += v;
        out.Right[i] += v;
    }
}

// Scales to the peak level and fades the last 10 ms so the sound ends without a click.
void Finish(Buffer& out, double peak)
{
    double max = 1e-9;
    for (size_t i = 0; i < out.Left.size(); ++i)
        max = std::max({max, std::fabs(out.Left[i]), std::fabs(out.Right[i])});
    const size_t fade = size_t(0.010 * kRate);
    for (size_t i = 0; i < out.Left.size(); ++i) {
        const size_t left = out.Left.size() - 1 - i;
        const double tail = left < fade ? double(left) / fade : 1.0;
        out.Left[i] *= peak / max * tail;
        out.Right[i] *= peak / max * tail;
    }
}

void Put16(std::string& bytes, uint16_t v)
{
    bytes += char(v & 0xFF);
    bytes += char(v >> 8);
}

void Put32(std::string& bytes, uint32_t v)
{
    Put16(bytes, uint16_t(v & 0xFFFF));
    Put16(bytes, uint16_t(v >> 16));
}

bool WriteWav(const std::string& path, const Buffer& sound, int channels)
{
    const uint32_t frames = uint32_t(sound.Left.size());
    const uint32_t dataSize = frames * uint32_t(channels) * 2;
    std::string bytes;
    bytes += "RIFF";
    Put32(bytes, 36 + dataSize);
    bytes += "WAVEfmt ";
    Put32(bytes, 16);
    Put16(bytes, 1); // PCM
    Put16(bytes, uint16_t(channels));
    Put32(bytes, kRate);
    Put32(bytes, kRate * uint32_t(channels) * 2);
    Put16(bytes, uint16_t(channels * 2));
    Put16(bytes, 16);
    bytes += "data";
    Put32(bytes, dataSize);
    for (uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double v = c == 0 ? sound.Left[i] : sound.Right[i];
            const long s = std::lround(std::clamp(v, -1.0, 1.0) * 32767);
            Put16(bytes, uint16_t(int16_t(s)));
        }
    }
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(file);
}

// A short wooden tock.
Buffer NewMove()
{
    Buffer out(0.24);
    AddNote(out, 0, 620, 1.0, 0, {{1, 1.0, 0.045}, {2.76, 0.35, 0.020}, {5.40, 0.12, 0.008}},
            0.0015);
    AddKnock(out, 0.25);
    Finish(out, 0.55);
    return out;
}

// Two soft chime notes, the second a fifth higher, moving from left to right.
Buffer NewPosition()
{
    const std::vector<Partial> bell = {{1, 1.0, 0.20}, {2.0, 0.30, 0.10}, {3.01, 0.10, 0.05}};
    Buffer out(0.71);
    AddNote(out, 0.00, 659.26, 0.8, -0.45, bell);
    AddNote(out, 0.16, 987.77, 0.7, 0.45, bell);
    Finish(out, 0.50);
    return out;
}

// A bright rising C major arpeggio that rings out on its top note.
Buffer Checkmate()
{
    const std::vector<Partial> horn = {
        {1, 1.0, 0.40}, {2, 0.40, 0.25}, {3, 0.20, 0.15}, {4, 0.08, 0.10}};
    Buffer out(1.68);
    const double notes[] = {523.25, 659.26, 783.99};
    for (int i = 0; i < 3; ++i)
        AddNote(out, 0.12 * i, notes[i], 0.6, 0, horn, 0.006);
    AddNote(out, 0.36, 1046.50, 0.8, 0, {{1, 1.0, 0.55}, {2, 0.35, 0.30}, {3, 0.12, 0.20}}, 0.006);
    AddNote(out, 0.36, 783.99, 0.35, 0, {{1, 1.0, 0.50}, {2, 0.20, 0.25}}, 0.006);
    Finish(out, 0.60);
    return out;
}

// A gentle falling D minor motif that settles on a warm chord.
Buffer CheckmateSelf()
{
    const std::vector<Partial> warm = {{1, 1.0, 0.35}, {2, 0.25, 0.18}, {3, 0.08, 0.10}};
    Buffer out(2.09);
    AddNote(out, 0.00, 440.00, 0.6, 0, warm, 0.015);
    AddNote(out, 0.30, 349.23, 0.6, 0, warm, 0.015);
    AddNote(out, 0.60, 293.66, 0.6, 0, warm, 0.015);
    const std::vector<Partial> chord = {{1, 1.0, 0.60}, {2, 0.20, 0.30}};
    for (double f : {293.66, 349.23, 440.00})
        AddNote(out, 0.95, f, 0.35, 0, chord, 0.020);
    Finish(out, 0.50);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavlora-soundgen OUTPUT-FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const bool ok = WriteWav(folder + "NewMove.wav", NewMove(), 1) &&
                    WriteWav(folder + "NewPosition.wav", NewPosition(), 2) &&
                    WriteWav(folder + "Checkmate.wav", Checkmate(), 1) &&
                    WriteWav(folder + "CheckmateSelf.wav", CheckmateSelf(), 1);
    if (!ok) {
        std::fprintf(stderr, "tavlora-soundgen: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
