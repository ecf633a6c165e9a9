#include "bench/nmea_corpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "tests/support/nmea_checksum.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSatellitesTracked = 14;

struct Satellite {
    int prn, elevation, azimuth, snr;
};

}  // namespace

// What the simulated receiver knows at one epoch.
struct CorpusReceiver {
    std::mt19937 random;
    long long epoch = 0;
    int secondOfDay = 17 * 3600 + 19 * 60 + 25;
    int day = 18, month = 3, year = 2015;
    double latitude = 44.0690110, longitude = -121.3142468, altitude = 1147.2;
    double knots = 0, course = 54.7;
    int phaseEpochsLeft = 0;
    bool moving = false;
    Satellite satellites[kSatellitesTracked];
};

namespace {

// "ddmm.mmmmm,N" or "dddmm.mmmmm,W" as NMEA writes a position.
void FormatPosition(const CorpusReceiver& r, char* out, std::size_t size)
{
    const double lat = std::fabs(r.latitude), lon = std::fabs(r.longitude);
    const int latDeg = static_cast<int>(lat), lonDeg = static_cast<int>(lon);
    std::snprintf(out, size, "%02d%08.5f,%c,%03d%08.5f,%c", latDeg, (lat - latDeg) * 60,
                  r.latitude < 0 ? 'S' : 'N', lonDeg, (lon - lonDeg) * 60,
                  r.longitude < 0 ? 'W' : 'E');
}

void FormatTime(const CorpusReceiver& r, char* out, std::size_t size)
{
    const int s = r.secondOfDay;
    std::snprintf(out, size, "%02d%02d%02d.00", s / 3600, s / 60 % 60, s % 60);
}

int VisibleSatellites(const CorpusReceiver& r)
{
    return 9 + static_cast<int>((r.epoch / 97) % 6);  // 9 to 14, changing now and then
}

void AppendGsvBurst(std::string& stream, const CorpusReceiver& r)
{
    const int visible = VisibleSatellites(r);
    const int messages = (visible + 3) / 4;
    for (int m = 0; m < messages; ++m) {
        char body[160];
        int used = std::snprintf(body, sizeof body, "GPGSV,%d,%d,%02d", messages, m + 1, visible);
        for (int i = m * 4; i < std::min(visible, m * 4 + 4); ++i) {
            const Satellite& s = r.satellites[i];
            char snr[12] = "";
            if (s.snr > 0) std::snprintf(snr, sizeof snr, "%02d", s.snr);
            used += std::snprintf(body + used, sizeof body - used, ",%02d,%02d,%03d,%s", s.prn,
                                  s.elevation, s.azimuth, snr);
        }
        AppendCheckedSentence(stream, body);
    }
}

void AppendGsa(std::string& stream, const CorpusReceiver& r)
{
    char body[160];
    int used = std::snprintf(body, sizeof body, "GPGSA,A,3");
    const int visible = VisibleSatellites(r);
    for (int i = 0; i < 12; ++i) {
        const bool inFix = i < visible && r.satellites[i].snr > 20;
        used += inFix ? std::snprintf(body + used, sizeof body - used, ",%02d", r.satellites[i].prn)
                      : std::snprintf(body + used, sizeof body - used, ",");
    }
    std::snprintf(body + used, sizeof body - used, ",1.56,0.91,1.27");
    AppendCheckedSentence(stream, body);
}

void AppendEpoch(std::string& stream, const CorpusReceiver& r)
{
    char time[32], position[64], body[192];
    FormatTime(r, time, sizeof time);
    FormatPosition(r, position, sizeof position);
    std::snprintf(body, sizeof body, "GPGGA,%s,%s,1,%02d,0.91,%.1f,M,-21.3,M,,", time, position,
                  VisibleSatellites(r) - 2, r.altitude);
    AppendCheckedSentence(stream, body);
    AppendGsa(stream, r);
    AppendGsvBurst(stream, r);
    char course[16] = "";
    if (r.moving) std::snprintf(course, sizeof course, "%.2f", r.course);
    std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,%.3f,%s,%02d%02d%02d,,,A", time, position,
                  r.knots, course, r.day, r.month, r.year % 100);
    AppendCheckedSentence(stream, body);
    if (r.moving)
        std::snprintf(body, sizeof body, "GPVTG,%.2f,T,%.2f,M,%.3f,N,%.3f,K,A", r.course,
                      std::fmod(r.course + 345.7, 360.0), r.knots, r.knots * 1.852);
    else
        std::snprintf(body, sizeof body, "GPVTG,,T,,M,%.3f,N,%.3f,K,A", r.knots, r.knots * 1.852);
    AppendCheckedSentence(stream, body);
    std::snprintf(body, sizeof body, "GPGLL,%s,%s,A,A", position, time);
    AppendCheckedSentence(stream, body);
    std::snprintf(body, sizeof body, "GPZDA,%s,%02d,%02d,%04d,00,00", time, r.day, r.month, r.year);
    AppendCheckedSentence(stream, body);
    // Estimated position error, as receivers report it in a sentence of their maker's own.
    std::snprintf(body, sizeof body, "PGRME,%.1f,M,%.1f,M,%.1f,M", 2.0 + r.epoch % 7 * 0.3,
                  3.1 + r.epoch % 5 * 0.2, 3.7 + r.epoch % 3 * 0.4);
    AppendCheckedSentence(stream, body);
}

// Standing spells of 20 to 60 s (speed noise, no course) between drives of 1 to 5 minutes.
void Move(CorpusReceiver& r)
{
    if (--r.phaseEpochsLeft <= 0) {
        r.moving = !r.moving;
        r.phaseEpochsLeft = r.moving ? std::uniform_int_distribution(60, 300)(r.random)
                                     : std::uniform_int_distribution(20, 60)(r.random);
    }
    std::normal_distribution<double> noise(0, 1);
    if (r.moving) {
        r.knots = std::clamp(r.knots + noise(r.random) * 2 + 1, 3.0, 65.0);
        r.course = std::fmod(r.course + noise(r.random) * 4 + 360, 360.0);
        const double metres = r.knots * 1852 / 3600;
        r.latitude += metres * std::cos(r.course * kPi / 180) / 111320;
        r.longitude +=
            metres * std::sin(r.course * kPi / 180) / (111320 * std::cos(r.latitude * kPi / 180));
    } else {
        r.knots = std::fabs(noise(r.random)) * 0.05;
    }
    r.altitude += noise(r.random) * 0.3;
}

void AdvanceClock(CorpusReceiver& r)
{
    ++r.epoch;
    if (++r.secondOfDay < 86400) return;
    r.secondOfDay = 0;
    if (++r.day <= 28) return;  // every month is short enough here: the date only has to be valid
    r.day = 1;
    if (++r.month <= 12) return;
    r.month = 1;
    ++r.year;
}

void DriftSatellites(CorpusReceiver& r)
{
    std::uniform_int_distribution<int> step(-1, 1);
    for (Satellite& s : r.satellites) {
        s.snr = std::clamp(s.snr + step(r.random), 0, 48);
        if (r.epoch % 60 == 0) s.azimuth = (s.azimuth + 1) % 360;
    }
}

}  // namespace

NmeaEpochs::NmeaEpochs(unsigned seed) : receiver_(std::make_unique<CorpusReceiver>())
{
    CorpusReceiver& r = *receiver_;
    r.random.seed(seed);
    for (int i = 0; i < kSatellitesTracked; ++i)
        r.satellites[i] = {1 + i * 2 + i % 3, 5 + i * 6 % 80, i * 47 % 360, i % 5 ? 18 + i : 0};
}

NmeaEpochs::~NmeaEpochs() = default;

void NmeaEpochs::AppendNext(std::string& stream)
{
    CorpusReceiver& r = *receiver_;
    AppendEpoch(stream, r);
    Move(r);
    DriftSatellites(r);
    AdvanceClock(r);
}

std::string GenerateNmeaCorpus(std::size_t minimumBytes, unsigned seed)
{
    NmeaEpochs epochs(seed);
    std::string stream;
    stream.reserve(minimumBytes + 1024);
    while (stream.size() < minimumBytes)
        epochs.AppendNext(stream);
    return stream;
}

std::string_view WholeSentencesWithin(std::string_view stream, std::size_t maxBytes)
{
    if (stream.size() <= maxBytes) return stream;
    const std::size_t end = stream.rfind('$', maxBytes);
    return stream.substr(0, end == std::string_view::npos ? 0 : end);
}

std::size_t CountSentences(std::string_view stream)
{
    return static_cast<std::size_t>(std::count(stream.begin(), stream.end(), '$'));
}
