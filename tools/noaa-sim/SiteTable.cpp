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
