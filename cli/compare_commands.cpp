// show FILE, verify FILE and diff A B: configurations from settings files and readers, shown
// and compared field by field in show's words. Nothing is written to a reader.
#include "cli.h"
#include "config_report.h"
#include "json_text.h"
#include "settings_source.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using json = nlohmann::ordered_json;

// One side of a comparison: a configuration and where it came from.
struct TSide {
    std::string Name; // as given on the command line
    TConfigSource Source = TConfigSource::File;
    std::unique_ptr<TMsrSession> Session = std::make_unique<TMsrSession>();
};

constexpr const char *kReaderWord = "reader";

// "reader", "reader:PATH|SERIAL" or a settings file; the file named "reader" is "./reader".
bool IsReader(const std::string &operand, std::string &device) {
    device.clear();
    if (operand == kReaderWord) return true;
    const std::string prefix = std::string(kReaderWord) + ":";
    if (operand.compare(0, prefix.size(), prefix) != 0) return false;
    device = operand.substr(prefix.size());
    return true;
}

// The operand's reader name, checked before anything is opened.
int CheckOperand(const TCliStreams &io, const std::string &operand) {
    std::string device;
    if (!IsReader(operand, device) || operand == kReaderWord) return kExitOk;
    const std::string why = CheckDeviceName(device);
    return why.empty() ? kExitOk : Fail(io, kExitUsage, operand + ": " + why);
}

int Load(const TCliStreams &io, TSide &side) {
    std::string device;
    if (!IsReader(side.Name, device))
        return OpenSettingsFile(io, side.Name, TShortFile::Warn, *side.Session);
    side.Source = TConfigSource::Reader;
    const TDeviceChoice choice(device);
    return LoadReader(io, *side.Session);
}

std::vector<TConfigField> FieldsOf(const TSide &side) {
    return ConfigFields(*side.Session->Settings, side.Session->Window.Controls, side.Source);
}

// Prints the fields in which the two sides differ; kExitOk when there is none, else
// kExitVerify.
int Compare(const TCliStreams &io, const TSide &a, const TSide &b) {
    const std::vector<TConfigField> fa = FieldsOf(a), fb = FieldsOf(b);
    json differences = json::array();
    std::string text;
    const size_t width = std::max(a.Name.size(), b.Name.size()) + 2;
    const auto named = [width](const std::string &name) {
        std::string column = "  " + name;
        column.resize(width + 2, ' ');
        return column;
    };
    for (size_t i = 0; i < fa.size() && i < fb.size(); ++i) {
        if (fa[i].Compared == fb[i].Compared) continue;
        differences.push_back(json{
            {"field", fa[i].Key}, {"label", fa[i].Label}, {"a", fa[i].Json}, {"b", fb[i].Json}});
        text += fa[i].Label + ":\n" + named(a.Name) + fa[i].Text + "\n" + named(b.Name) +
                fb[i].Text + "\n";
    }
    const size_t n = differences.size();
    if (io.json) {
        io.out << JsonText(json{{"a", a.Name},
                                {"b", b.Name},
                                {"equal", n == 0},
                                {"differences", differences}},
                           2)
               << '\n';
    } else if (n == 0) {
        io.out << a.Name << " and " << b.Name << " hold the same configuration\n";
    } else {
        io.out << text << n << (n == 1 ? " field differs" : " fields differ") << " between "
               << a.Name << " and " << b.Name << '\n';
    }
    return n == 0 ? kExitOk : kExitVerify;
}

} // namespace

int CmdShowFile(const TCliStreams &io, const std::string &file) {
    TMsrSession m;
    if (const int status = OpenSettingsFile(io, file, TShortFile::Warn, m)) return status;
    if (io.json)
        io.out << JsonText(ConfigJson(*m.Settings, m.Window.Controls, TConfigSource::File), 2)
               << '\n';
    else
        io.out << ConfigText(*m.Settings, m.Window.Controls, TConfigSource::File);
    return kExitOk;
}

int CmdVerify(const TCliStreams &io, const std::string &file) {
    // The reader by the name it was chosen with, so that a bench's audit says which one.
    const char *chosen = std::getenv(kDeviceVariable);
    const std::string reader =
        chosen && *chosen ? std::string(kReaderWord) + ":" + chosen : kReaderWord;
    std::string device;
    return CmdDiff(io, reader, IsReader(file, device) ? "./" + file : file);
}

int CmdDiff(const TCliStreams &io, const std::string &first, const std::string &second) {
    if (const int status = CheckOperand(io, first)) return status;
    if (const int status = CheckOperand(io, second)) return status;
    TSide a{first}, b{second};
    // Files first: a refused file leaves every reader alone.
    std::string device;
    const bool aReader = IsReader(first, device), bReader = IsReader(second, device);
    if (!aReader)
        if (const int status = Load(io, a)) return status;
    if (!bReader)
        if (const int status = Load(io, b)) return status;
    if (aReader)
        if (const int status = Load(io, a)) return status;
    if (bReader)
        if (const int status = Load(io, b)) return status;
    return Compare(io, a, b);
}
