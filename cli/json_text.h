// JSON as the commands print it.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Names, version texts and descriptions come from devices, cards and files that need not send
// UTF-8: what is not UTF-8 is replaced, since refusing it would end the program. `indent` -1
// gives one line.
inline std::string JsonText(const nlohmann::ordered_json &j, int indent = -1) {
    return j.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
