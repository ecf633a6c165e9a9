#include "tools/restamp_sentence.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "tests/support/nmea_checksum.h"

namespace {

enum class DateFields {
    kNone,
    kDdMmYy,        // one field, as RMC has it
    kDayMonthYear,  // three fields dd, mm, yyyy, as ZDA has them
};

struct StampedType {
    std::string_view type;  // after the two letters of the talker
    std::size_t timeField;  // counted from the address field, which is 0
    std::size_t dateField;  // 0 for none
    DateFields date;
};

constexpr StampedType kStampedTypes[] = {
    {"RMC", 1, 9, DateFields::kDdMmYy},       {"GGA", 1, 0, DateFields::kNone},
    {"GLL", 5, 0, DateFields::kNone},         {"GNS", 1, 0, DateFields::kNone},
    {"GBS", 1, 0, DateFields::kNone},         {"GST", 1, 0, DateFields::kNone},
    {"ZDA", 1, 2, DateFields::kDayMonthYear},
};

// "$GPRMC,..." and the like; proprietary sentences ("$P...") have no type of ours.
const StampedType* StampedTypeOf(std::string_view sentence)
{
    if (sentence.size() < 7 || sentence[0] != '$' || sentence[1] == 'P' || sentence[6] != ',')
        return nullptr;
    for (const StampedType& stamped : kStampedTypes)
        if (sentence.substr(3, 3) == stamped.type) return &stamped;
    return nullptr;
}

// Where the '*' of a correct checksum is, or npos.
std::size_t CheckedStar(std::string_view sentence)
{
    const std::size_t star = sentence.rfind('*');
    if (star == std::string_view::npos || star + 3 != sentence.size())
        return std::string_view::npos;
    unsigned written = 0;
    const char* end = sentence.data() + sentence.size();
    if (std::from_chars(sentence.data() + star + 1, end, written, 16).ptr != end)
        return std::string_view::npos;
    return written == NmeaChecksum(sentence.substr(1, star - 1)) ? star : std::string_view::npos;
}

std::vector<std::string> SplitFields(std::string_view body)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = body.find(',', start)) != std::string_view::npos;
         start = comma + 1)
        fields.emplace_back(body.substr(start, comma - start));
    fields.emplace_back(body.substr(start));
    return fields;
}

// Replaces the first `digits.size()` characters of a non-empty field.
void Overwrite(std::vector<std::string>& fields, std::size_t index, const std::string& digits)
{
    if (index >= fields.size() || fields[index].size() < digits.size()) return;
    fields[index].replace(0, digits.size(), digits);
}

std::string TwoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

void StampDate(std::vector<std::string>& fields, const StampedType& stamped, const std::tm& utc)
{
    const std::string day = TwoDigits(utc.tm_mday);
    const std::string month = TwoDigits(utc.tm_mon + 1);
    if (stamped.date == DateFields::kDdMmYy)
        Overwrite(fields, stamped.dateField, day + month + TwoDigits(utc.tm_year));
    if (stamped.date == DateFields::kDayMonthYear) {
        Overwrite(fields, stamped.dateField, day);
        Overwrite(fields, stamped.dateField + 1, month);
        Overwrite(fields, stamped.dateField + 2, std::to_string(1900 + utc.tm_year));
    }
}

}  // namespace

std::string RestampSentence(std::string_view sentence, const std::tm& utc)
{
    const StampedType* stamped = StampedTypeOf(sentence);
    const std::size_t star = CheckedStar(sentence);
    if (!stamped || star == std::string_view::npos) return std::string(sentence);
    std::vector<std::string> fields = SplitFields(sentence.substr(0, star));
    Overwrite(fields, stamped->timeField,
              TwoDigits(utc.tm_hour) + TwoDigits(utc.tm_min) + TwoDigits(utc.tm_sec));
    StampDate(fields, *stamped, utc);
    std::string restamped = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i)
        restamped += "," + fields[i];
    char checksum[4];
    std::snprintf(checksum, sizeof checksum, "*%02X",
                  NmeaChecksum(std::string_view(restamped).substr(1)));
    return restamped + checksum;
}

std::string_view CapturedTime(std::string_view sentence)
{
    const StampedType* stamped = StampedTypeOf(sentence);
    if (!stamped) return {};
    std::size_t start = 0;
    for (std::size_t field = 0; field < stamped->timeField; ++field) {
        start = sentence.find(',', start);
        if (start == std::string_view::npos) return {};
        ++start;
    }
    const std::size_t end = sentence.find_first_of(",*", start);
    return sentence.substr(start, end == std::string_view::npos ? end : end - start);
}
