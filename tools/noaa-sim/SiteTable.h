#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// One location the simulated search knows: a zip code and the radar site that covers it.
struct SiteEntry {
    std::string zip;   // five digits
    std::string site;  // radar site id in upper case, e.g. "KEAX"
    std::string city;  // "Kansas City"
    std::string state; // "MO"

    std::string cityState() const { return city + ", " + state; }
};

/// The zip codes the simulated location search answers for.
class SiteTable {
public:
    /// A handful of locations, enough for tests and the demo without a data file.
    static SiteTable builtIn();

    /// Adds the rows of a tab-separated table with a header line naming at least the columns
    /// "site", "city", "state" and "zip". A row for a zip code already known replaces it.
    /// Rows without a five-digit zip or a 3-4 character site id are skipped. Returns the
    /// number of rows taken, or -1 when the header lacks a needed column.
    int addTsv(std::string_view text);

    /// Adds the cities of a radar site list in the setup dialog's form (RadarList.txt): a
    /// line holding "STATE:" names the state of the lines after it; a site line is
    /// "<radar page address>","<city>",...,"<zip>", its site taken from the address's
    /// "/si.<site>." part. Other lines and rows without a five-digit zip or a site are
    /// skipped. Returns the number of rows taken.
    int addRadarList(std::string_view text);

    void add(SiteEntry entry);
    const SiteEntry* byZip(std::string_view zip) const;
    /// A search text as people type it: "Kansas City, MO", "kansas city mo" or "Kansas City".
    const SiteEntry* byCity(std::string_view query) const;
    const std::vector<SiteEntry>& entries() const { return entries_; }

private:
    std::vector<SiteEntry> entries_;
};

/// Whether `site` looks like a radar site id (3 or 4 letters and digits).
bool isSiteId(std::string_view site);
std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);

} // namespace nimbuscope::noaasim
