// The reader's configuration as a person reads it (show) and as one JSON object (show --json),
// from the record and the controls the window would show for it; and the same, field by field,
// for comparing two configurations (verify, diff).
#pragma once

#include "config/mapping.h"
#include "config/msr_settings.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Where a configuration came from. A settings file whose keyboard language is not listed
// carries no table: restoring it keeps the reader's own, so it shows no index.
enum class TConfigSource { Reader, File };

std::string ConfigText(const TMsrSettings &s, const TMsrControls &c,
                       TConfigSource source = TConfigSource::Reader);
nlohmann::ordered_json ConfigJson(const TMsrSettings &s, const TMsrControls &c,
                                  TConfigSource source = TConfigSource::Reader);

// One field of a configuration: sentinels, options, the language and every layer by name.
struct TConfigField {
    std::string Key;             // stable, for JSON: "tracks.1.start", "sequences.header"
    std::string Label;           // as show labels it: "Track 1 start", "Header"
    std::string Text;            // the value as show prints it
    nlohmann::ordered_json Json; // the value as show --json gives it
    std::string Compared;        // what two configurations must share to be the same here
};

// The fields of a configuration, always the same ones in the same order.
std::vector<TConfigField> ConfigFields(const TMsrSettings &s, const TMsrControls &c,
                                       TConfigSource source);
