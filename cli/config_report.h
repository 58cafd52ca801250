// The reader's configuration as a person reads it (show) and as one JSON object (show --json),
// from the record and the controls the window would show for it.
#pragma once

#include "config/mapping.h"
#include "config/msr_settings.h"

#include <nlohmann/json.hpp>
#include <string>

std::string ConfigText(const TMsrSettings &s, const TMsrControls &c);
nlohmann::ordered_json ConfigJson(const TMsrSettings &s, const TMsrControls &c);
