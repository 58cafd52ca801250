// The command line: subcommands, their arguments and help, and the exit status of a refused
// command line.
#include "cli.h"

#include <CLI/CLI.hpp>

#include <functional>

namespace {

const char *const kDescription =
    "Reads and writes the configuration of a magnetic-stripe card reader (vendor 10C4, product "
    "847C or 84A2), powers its IC card slot and sends APDUs to it, and works with a Mifare One "
    "card on the same USB HID link. Settings files are the ones the cardtool window opens and "
    "saves.";

const char *const kExitStatuses = "Exit status: 0 ok, 1 usage, 2 no reader, 3 reader refused or "
                                  "failed, 4 file error, 5 verify mismatch.";

} // namespace

int RunCli(int argc, char **argv, const TCliStreams &io) {
    CLI::App app(kDescription, "cardtool-cli");
    app.footer(kExitStatuses);
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Print the help of every command");
    std::function<int()> run;

    app.add_subcommand("version", "Print the reader's version text")->callback([&] {
        run = [&] { return CmdVersion(io); };
    });

    bool json = false;
    auto *show = app.add_subcommand("show", "Read the reader's configuration and print it");
    show->add_flag("--json", json, "One JSON object with stable keys");
    show->callback([&] { run = [&] { return CmdShow(io, json); }; });

    std::string file;
    auto *backup =
        app.add_subcommand("backup", "Read the reader's configuration into a settings file");
    backup->add_option("FILE", file, "The settings file to write (replaced whole)")->required();
    backup->callback([&] { run = [&] { return CmdBackup(io, file); }; });

    bool verify = false;
    auto *restore = app.add_subcommand(
        "restore", "Write a settings file to the reader (what the window's Save sends after "
                   "Open File)");
    restore->add_option("FILE", file, "The settings file to read")->required();
    restore->add_flag("--verify", verify,
                      "Read the configuration back and compare; exit status 5 on a difference");
    restore->callback([&] { run = [&] { return CmdRestore(io, file, verify); }; });

    app.add_subcommand("default", "Write the default configuration (what Set Default sends)")
        ->callback([&] { run = [&] { return CmdDefault(io); }; });

    std::string mode;
    auto *modeCommand = app.add_subcommand("mode", "Put the reader in normal or test mode");
    modeCommand->add_option("MODE", mode, "normal or test")
        ->required()
        ->check(CLI::IsMember({"normal", "test"}));
    modeCommand->callback([&] { run = [&] { return CmdMode(io, mode == "test"); }; });

    // The IC card slot.
    bool trace = false;
    auto *ic = app.add_subcommand("ic", "The reader's IC card slot");
    ic->require_subcommand(1);
    ic->fallthrough();
    ic->add_flag("--trace", trace, "Also print the raw frames sent and received");
    ic->add_subcommand("power-up", "Power the card up and print its answer to reset")
        ->callback([&] { run = [&] { return CmdIc(io, TIcCommand::PowerUp, {}, trace); }; });
    ic->add_subcommand("power-down", "Power the card down")->callback([&] {
        run = [&] { return CmdIc(io, TIcCommand::PowerDown, {}, trace); };
    });
    std::vector<std::string> apdu;
    auto *apduCommand = ic->add_subcommand(
        "apdu", "Send one APDU and print the response, SW1 SW2 and what they mean");
    apduCommand->add_option("HEX", apdu, "The APDU as hex digits, in one word or several")
        ->required();
    apduCommand->callback([&] { run = [&] { return CmdIc(io, TIcCommand::Apdu, apdu, trace); }; });

    // A Mifare One card.
    TMifareOptions card;
    auto *mifare = app.add_subcommand("mifare", "A Mifare One card in the reader's field");
    mifare->require_subcommand(1);
    mifare->fallthrough();
    mifare->add_option("--key", card.Key, "The key, 12 hex digits")
        ->capture_default_str()
        ->type_name("HEX");
    mifare->add_flag("--key-b", card.KeyB, "Authenticate with key B instead of key A");
    mifare->add_subcommand("search", "Find the card and print its serial number")->callback([&] {
        run = [&] { return CmdMifareSearch(io); };
    });

    std::string sector, block, data, amount, valueOp;
    auto *read = mifare->add_subcommand("read", "Print one block as 32 hex digits");
    read->add_option("SECTOR", sector, "0 to 15")->required();
    read->add_option("BLOCK", block, "0 to 3 within the sector")->required();
    read->callback([&] { run = [&] { return CmdMifareRead(io, card, sector, block); }; });

    bool forceTrailer = false;
    auto *write = mifare->add_subcommand(
        "write", "Write one block (a shorter row is filled with zeros; block 3, the sector "
                 "trailer, only whole, with valid access bits and --force-trailer)");
    write->add_option("SECTOR", sector, "0 to 15")->required();
    write->add_option("BLOCK", block, "0 to 3 within the sector")->required();
    write->add_option("HEX", data, "The block's bytes, up to 32 hex digits")->required();
    write->add_flag("--force-trailer", forceTrailer,
                    "Allow writing block 3 (keys and access bits)");
    write->callback(
        [&] { run = [&] { return CmdMifareWrite(io, card, sector, block, data, forceTrailer); }; });

    auto *value = mifare->add_subcommand(
        "value", "Use a data block as a value block: init, inc and dec take an AMOUNT, get "
                 "prints the value");
    value->add_option("OPERATION", valueOp, "init, inc, dec or get")
        ->required()
        ->check(CLI::IsMember({"init", "inc", "dec", "get"}));
    value->add_option("SECTOR", sector, "0 to 15")->required();
    value->add_option("BLOCK", block, "0 to 2 within the sector")->required();
    value->add_option("AMOUNT", amount, "1 to 9 decimal digits");
    value->callback([&] {
        run = [&] {
            const TValueOp op = valueOp == "init"  ? TValueOp::Init
                                : valueOp == "inc" ? TValueOp::Inc
                                : valueOp == "dec" ? TValueOp::Dec
                                                   : TValueOp::Get;
            return CmdMifareValue(io, card, op, sector, block, amount);
        };
    });

    auto *dump = mifare->add_subcommand(
        "dump", "Read every readable block into a 1024-byte card image and print a sector map "
                "of what could not be read (exit status 3 when a block was left out)");
    dump->add_option("FILE", file, "The card image to write (replaced whole)")->required();
    dump->callback([&] { run = [&] { return CmdMifareDump(io, card, file); }; });

    auto *restoreData = mifare->add_subcommand(
        "restore-data", "Write the data blocks of a 1024-byte card image to the card (never "
                        "block 0 or a trailer)");
    restoreData->add_option("FILE", file, "The card image to read")->required();
    restoreData->callback([&] { run = [&] { return CmdMifareRestoreData(io, card, file); }; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) {
        return app.exit(e, io.out, io.err);
    } catch (const CLI::ParseError &e) {
        return Fail(io, kExitUsage, std::string(e.what()) + " (see cardtool-cli --help)");
    }
    return run ? run() : Fail(io, kExitUsage, "no command given (see cardtool-cli --help)");
}
