// The command line: subcommands, their arguments and help, and the exit status of a refused
// command line.
#include "cli.h"
#include "settings_source.h"

#include <CLI/CLI.hpp>

#include <functional>

namespace {

const char *const kDescription =
    "The configuration of a magnetic-stripe card reader (USB HID, vendor 10C4, product 847C or\n"
    "84A2), its IC card slot and a Mifare One card in its field, and smart cards in any PC/SC\n"
    "reader, from a terminal. Settings files are those the cardtool window opens and saves.\n";

const char *const kExitStatuses =
    "Exit status: 0 ok, 1 usage, 2 no reader, 3 reader refused or "
    "failed, 4 file error,\n5 a check failed (verify or diff found a difference, a write read "
    "back\nanother block, a script got another answer, an ATR is "
    "malformed).";

std::string Footer(const char *text) {
    return std::string(text) + "\n\n" + kExitStatuses;
}

void JsonFlag(CLI::App *command, bool &json) {
    command->add_flag("--json", json, "Print the result as JSON");
}

// --jobs: how many readers at once; 0 for all.
bool ParseJobs(const std::string &text, int &jobs) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    jobs = std::stoi(text);
    return jobs >= 1;
}

} // namespace

int RunCli(int argc, char **argv, const TCliStreams &io) {
    CLI::App app(kDescription, "cardtool-cli");
    app.footer(kExitStatuses);
    app.require_subcommand(1);
    app.set_version_flag("--version", "cardtool-cli " CARDTOOL_VERSION,
                         "Print the program's version (the version command prints the reader's)");
    // Global options may also follow the command.
    app.fallthrough();
    std::string device;
    app.add_option("--device", device,
                   "The reader to work with: its path or serial number, as list shows them "
                   "(default: the first reader found)")
        ->type_name("PATH|SERIAL");
    std::function<int()> run;
    // The commands write through this copy, which --json sets once the line is parsed.
    TCliStreams cli{io.out, io.err, io.terminal};
    bool json = false;

    auto *version = app.add_subcommand("version", "Print the reader's version text");
    JsonFlag(version, json);
    version->callback([&] { run = [&] { return CmdVersion(cli); }; });

    auto *list = app.add_subcommand("list", "List the readers attached, and the PC/SC readers");
    list->footer(Footer(
        "Each reader of the family (vendor 10C4, product 847C or 84A2) with its path, vendor and\n"
        "product, release, serial number and the version text it answers with; then each PC/SC\n"
        "reader and whether a card is in it. With --device only that reader is asked."));
    JsonFlag(list, json);
    list->callback([&] { run = [&] { return CmdList(cli); }; });

    std::string file, other;
    auto *show = app.add_subcommand("show", "Print the reader's configuration, or a file's");
    show->footer(Footer("Tracks with their sentinels and Enter, the reading sequence, the keyboard "
                        "language,\nthe options, and the key sequences as key names and as hex. "
                        "With FILE, the settings\nfile as the window shows it when opened; no "
                        "reader is needed."));
    show->add_option("FILE", file, "A settings file to show instead of the reader")->type_name("");
    show->add_flag("--json", json, "One JSON object with stable keys");
    show->callback(
        [&] { run = [&] { return file.empty() ? CmdShow(cli) : CmdShowFile(cli, file); }; });

    auto *verifyCommand =
        app.add_subcommand("verify", "Compare the reader with a settings file, writing nothing");
    verifyCommand->footer(
        Footer("Prints every field that differs (sentinels, options, language, each key "
               "sequence),\nas show shows them; exit status 0 when none does, 5 otherwise."));
    verifyCommand->add_option("FILE", file, "The settings file")->required()->type_name("");
    JsonFlag(verifyCommand, json);
    verifyCommand->callback([&] { run = [&] { return CmdVerify(cli, file); }; });

    auto *diff = app.add_subcommand("diff", "Compare two configurations field by field");
    diff->footer(Footer(
        "Each of A and B is a settings file, \"reader\" (the reader --device chooses, or the\n"
        "first) or \"reader:PATH\" / \"reader:SERIAL\" (a file named reader is ./reader).\n"
        "Exit status 0 when they hold the same configuration, 5 otherwise."));
    diff->add_option("A", file, "The first configuration")->required()->type_name("");
    diff->add_option("B", other, "The second configuration")->required()->type_name("");
    JsonFlag(diff, json);
    diff->callback([&] { run = [&] { return CmdDiff(cli, file, other); }; });

    auto *backup =
        app.add_subcommand("backup", "Save the reader's configuration in a settings file");
    backup->footer(Footer("The file is what the window's Save File writes: the window's Open File "
                          "reads it,\nand restore reads the window's files."));
    backup->add_option("FILE", file, "The settings file to write (replaced whole)")
        ->required()
        ->type_name("");
    JsonFlag(backup, json);
    backup->callback([&] { run = [&] { return CmdBackup(cli, file); }; });

    bool verify = false, all = false;
    std::string jobs;
    auto *restore = app.add_subcommand("restore", "Write a settings file to the reader");
    restore->footer(Footer(
        "Sends what the window's Save sends after Open File of the file. A file the window\n"
        "would refuse, or one the reader cannot take, is refused: nothing is written then.\n"
        "With --all every reader attached gets the file, each from a process of its own,\n"
        "one line (--json: one object) per reader; the exit status is the highest of theirs."));
    restore->add_option("FILE", file, "The settings file to read")->required()->type_name("");
    restore->add_flag("--verify", verify,
                      "Read the configuration back once more and name the layers that differ; "
                      "exit status 5 on a difference (every write is read back in any case)");
    restore->add_flag("--all", all, "Write the file to every reader attached");
    restore->add_option("--jobs", jobs, "With --all: how many readers at once (default: all)")
        ->type_name("N");
    JsonFlag(restore, json);
    restore->callback([&] {
        run = [&] {
            int n = 0;
            if (!jobs.empty() && !all) return Fail(cli, kExitUsage, "--jobs goes with --all");
            if (!jobs.empty() && !ParseJobs(jobs, n))
                return Fail(cli, kExitUsage, "--jobs needs a whole number from 1 to 9999");
            if (all && !device.empty())
                return Fail(cli, kExitUsage,
                            "--all writes every reader; --device chooses one: give one of them");
            return all ? CmdRestoreAll(cli, file, verify, n) : CmdRestore(cli, file, verify);
        };
    });

    auto *defaultCommand =
        app.add_subcommand("default", "Write the default configuration to the reader");
    defaultCommand->footer(Footer("Sends what the window's Set Default sends."));
    JsonFlag(defaultCommand, json);
    defaultCommand->callback([&] { run = [&] { return CmdDefault(cli); }; });

    std::string mode;
    auto *modeCommand = app.add_subcommand("mode", "Switch the reader to normal or test mode");
    modeCommand->add_option("MODE", mode, "normal or test")
        ->required()
        ->type_name("")
        ->check(CLI::IsMember({"normal", "test"}));
    JsonFlag(modeCommand, json);
    modeCommand->callback([&] { run = [&] { return CmdMode(cli, mode == "test"); }; });

    // The IC card slot.
    bool trace = false;
    auto *ic = app.add_subcommand("ic", "Power the IC card up or down, or send it an APDU");
    ic->require_subcommand(1);
    ic->fallthrough();
    ic->add_flag("--trace", trace, "Also print the raw frames sent and received");
    JsonFlag(ic, json);
    ic->add_subcommand("power-up", "Power the card up and print its answer to reset")
        ->callback([&] { run = [&] { return CmdIc(cli, TIcCommand::PowerUp, {}, trace); }; });
    ic->add_subcommand("power-down", "Power the card down")->callback([&] {
        run = [&] { return CmdIc(cli, TIcCommand::PowerDown, {}, trace); };
    });
    std::vector<std::string> apdu;
    auto *apduCommand = ic->add_subcommand(
        "apdu", "Send one APDU and print the response, SW1 SW2 and what they mean");
    apduCommand->add_option("HEX", apdu, "The APDU as hex digits, in one word or several")
        ->required()
        ->type_name("");
    apduCommand->callback([&] { run = [&] { return CmdIc(cli, TIcCommand::Apdu, apdu, trace); }; });

    // A Mifare One card.
    TMifareOptions card;
    auto *mifare = app.add_subcommand("mifare", "Read and write a Mifare One card");
    mifare->footer(Footer("Every command first searches for the card, as the window's SearchCard "
                          "does."));
    mifare->require_subcommand(1);
    mifare->fallthrough();
    mifare->add_option("--key", card.Key, "The key, 12 hex digits")
        ->capture_default_str()
        ->type_name("HEX");
    mifare->add_flag("--key-b", card.KeyB, "Authenticate with key B instead of key A");
    JsonFlag(mifare, json);
    mifare->add_subcommand("search", "Find the card and print its serial number")->callback([&] {
        run = [&] { return CmdMifareSearch(cli); };
    });

    std::string sector, block, data, amount, valueOp;
    auto *read = mifare->add_subcommand("read", "Print one block as 32 hex digits");
    read->add_option("SECTOR", sector, "0 to 15")->required()->type_name("");
    read->add_option("BLOCK", block, "0 to 3 within the sector")->required()->type_name("");
    read->callback([&] { run = [&] { return CmdMifareRead(cli, card, sector, block); }; });

    TTrailerPermissions trailer;
    auto *write = mifare->add_subcommand("write", "Write one block");
    write->footer(Footer(
        "A row of fewer than 32 digits is filled with zeros. Block 3, the sector trailer (key A,\n"
        "access bits, a user byte, key B), is written only with --force-trailer, whole, and with\n"
        "access bits that keep their complement rule (a sector with broken ones is lost).\n"
        "Access bits that no key could ever change again also need --allow-permanent; a key A\n"
        "of zeros (how a trailer that was read shows key A) other than --key needs\n"
        "--allow-zero-key-a."));
    write->add_option("SECTOR", sector, "0 to 15")->required()->type_name("");
    write->add_option("BLOCK", block, "0 to 3 within the sector")->required()->type_name("");
    write->add_option("HEX", data, "The block's bytes, up to 32 hex digits")
        ->required()
        ->type_name("");
    write->add_flag("--force-trailer", trailer.Force,
                    "Allow writing block 3 (keys and access bits)");
    write->add_flag("--allow-permanent", trailer.Permanent,
                    "With --force-trailer: allow access bits that lock the sector for good");
    write->add_flag("--allow-zero-key-a", trailer.ZeroKeyA,
                    "With --force-trailer: allow key A 000000000000 while --key is another key");
    write->callback(
        [&] { run = [&] { return CmdMifareWrite(cli, card, sector, block, data, trailer); }; });

    auto *value = mifare->add_subcommand("value", "Use a data block as a value block");
    value->footer(Footer("init sets the value, inc and dec add and take away the AMOUNT, get "
                         "prints the value.\nBlock 3 is never a value block."));
    value->add_option("OPERATION", valueOp, "init, inc, dec or get")
        ->required()
        ->type_name("")
        ->check(CLI::IsMember({"init", "inc", "dec", "get"}));
    value->add_option("SECTOR", sector, "0 to 15")->required()->type_name("");
    value->add_option("BLOCK", block, "0 to 2 within the sector")->required()->type_name("");
    value->add_option("AMOUNT", amount, "1 to 9 decimal digits (not with get)")->type_name("");
    value->callback([&] {
        run = [&] {
            const TValueOp op = valueOp == "init"  ? TValueOp::Init
                                : valueOp == "inc" ? TValueOp::Inc
                                : valueOp == "dec" ? TValueOp::Dec
                                                   : TValueOp::Get;
            return CmdMifareValue(cli, card, op, sector, block, amount);
        };
    });

    bool partial = false, allBlocks = false;
    auto *dump = mifare->add_subcommand("dump", "Read the card into a 1024-byte image file");
    dump->footer(Footer(
        "Reads every block the key opens: block 0 first, 16 bytes a block, the trailers as the\n"
        "card shows them (key A reads as zeros), and keeps a map of the blocks read beside the\n"
        "image (FILE.map). A sector map shows what could not be read; then nothing is written\n"
        "and the exit status is 3, unless --partial: the image (zeros where not read) and its\n"
        "map are written, still with exit status 3."));
    dump->add_option("FILE", file, "The card image to write (replaced whole)")
        ->required()
        ->type_name("");
    dump->add_flag("--partial", partial,
                   "Write the image and its map even when not every block could be read");
    dump->callback([&] { run = [&] { return CmdMifareDump(cli, card, file, partial); }; });

    auto *restoreData =
        mifare->add_subcommand("restore-data", "Write the data blocks of a card image to the card");
    restoreData->footer(Footer(
        "Block 0 (the maker's) and the sector trailers are never written, nor a block that the\n"
        "map beside the image (FILE.map, written by dump) does not mark as read. An image\n"
        "without a map is written only with --all-blocks."));
    restoreData->add_option("FILE", file, "The card image to read (1024 bytes)")
        ->required()
        ->type_name("");
    restoreData->add_flag("--all-blocks", allBlocks,
                          "Without a map beside the image: write every data block of it");
    restoreData->callback(
        [&] { run = [&] { return CmdMifareRestoreData(cli, card, file, allBlocks); }; });

    AddPcscCommands(app, run, io);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) {
        return app.exit(e, io.out, io.err);
    } catch (const CLI::ParseError &e) {
        return Fail(io, kExitUsage, std::string(e.what()) + " (see cardtool-cli --help)");
    }
    if (!run) return Fail(io, kExitUsage, "no command given (see cardtool-cli --help)");
    if (app.count("--device")) {
        const std::string why = CheckDeviceName(device);
        if (!why.empty()) return Fail(io, kExitUsage, "--device: " + why);
        if (app.got_subcommand("pcsc"))
            return Fail(io, kExitUsage,
                        "--device chooses a reader of the family; the pcsc commands choose "
                        "theirs with --reader");
    }
    // The library reads the choice when it opens a reader, and children inherit it.
    const TDeviceChoice choice(device);
    cli.json = json;
    return run();
}
