#include "noaa-sim/SiteTable.h"

#include <algorithm>
#include <cctype>

namespace nimbuscope::noaasim {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool isZip(std::string_view zip) {
    return zip.size() == 5 &&
           std::all_of(zip.begin(), zip.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Letters and digits only, lower case, so "Kansas City, MO" and "kansas city mo" meet.
std::string searchKey(std::string_view text) {
    std::string key;
    for (const char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            key += char(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The quoted fields of a line, in order.
std::vector<std::string_view> quotedFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto open = line.find('"');
        const auto close = open == std::string_view::npos ? open : line.find('"', open + 1);
        if (close == std::string_view::npos)
            return fields;
        fields.push_back(line.substr(open + 1, close - open - 1));
        line.remove_prefix(close + 1);
    }
}

// "kabr" from ".../si.kabr.shtml"; empty when the address names no site.
std::string siteOfRadarPage(std::string_view address) {
    const std::string lower = toLower(address);
    const auto at = lower.find("/si.");
    if (at == std::string::npos)
        return {};
    const auto start = at + 4;
    const auto end = lower.find('.', start);
    return end == std::string::npos ? std::string() : lower.substr(start, end - start);
}

} // namespace

std::string toUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string toLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isSiteId(std::string_view site) {
    return (site.size() == 3 || site.size() == 4) &&
           std::all_of(site.begin(), site.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

SiteTable SiteTable::builtIn() {
    SiteTable table;
    table.add({"64106", "KEAX", "Kansas City", "MO"});
    table.add({"80301", "KFTG", "Denver", "CO"});
    table.add({"98101", "KATX", "Seattle", "WA"});
    table.add({"60601", "KLOT", "Chicago", "IL"});
    table.add({"30303", "KFFC", "Atlanta", "GA"});
    table.add({"78701", "KEWX", "Austin", "TX"});
    table.add({"10001", "KOKX", "New York", "NY"});
    return table;
}

void SiteTable::add(SiteEntry entry) {
    entry.site = toUpper(entry.site);
    const auto same = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const SiteEntry& e) { return e.zip == entry.zip; });
    if (same != entries_.end())
        *same = std::move(entry);
    else
        entries_.push_back(std::move(entry));
}

int SiteTable::addTsv(std::string_view text) {
    auto lines = split(text, '\n');
    if (lines.empty())
        return -1;
    const auto header = split(trimmed(lines.front()), '\t');
    auto column = [&](std::string_view name) -> int {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (toLower(trimmed(header[i])) == name)
                return int(i);
        return -1;
    };
    const int site = column("site"), city = column("city"), state = column("state"),
              zip = column("zip");
    if (site < 0 || city < 0 || state < 0 || zip < 0)
        return -1;
    const auto needed = std::size_t(std::max({site, city, state, zip}));
    int taken = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = split(lines[i], '\t');
        if (fields.size() <= needed)
            continue;
        SiteEntry entry{std::string(trimmed(fields[zip])), std::string(trimmed(fields[site])),
                        std::string(trimmed(fields[city])), std::string(trimmed(fields[state]))};
        if (!isZip(entry.zip) || !isSiteId(entry.site) || entry.city.empty())
            continue;
        add(std::move(entry));
        ++taken;
    }
    return taken;
}

int SiteTable::addRadarList(std::string_view text) {
    std::string state;
    int taken = 0;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string lower = toLower(line);
        if (lower.find("http://") != std::string::npos) {
            const auto fields = quotedFields(line);
            if (fields.size() < 3)
                continue;
            SiteEntry entry{std::string(trimmed(fields.back())), siteOfRadarPage(fields[0]),
                            std::string(trimmed(fields[1])), state};
            if (!isZip(entry.zip) || !isSiteId(entry.site) || entry.city.empty())
                continue;
            add(std::move(entry));
            ++taken;
        } else if (const auto at = lower.find("state:"); at != std::string::npos) {
            state = std::string(trimmed(line.substr(at + 6)));
        }
    }
    return taken;
}

const SiteEntry* SiteTable::byZip(std::string_view zip) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const SiteEntry& e) { return e.zip == zip; });
    return found == entries_.end() ? nullptr : &*found;
}

const SiteEntry* SiteTable::byCity(std::string_view query) const {
    const std::string key = searchKey(query);
    if (key.empty())
        return nullptr;
    for (const auto& e : entries_)
        if (searchKey(e.city + e.state) == key)
            return &e;
    for (const auto& e : entries_)
        if (searchKey(e.city) == key)
            return &e;
    return nullptr;
}

} // namespace nimbuscope::noaasim
