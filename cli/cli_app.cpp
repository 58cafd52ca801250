// The command line: subcommands, their arguments and help, and the exit status of a refused
// command line.
#include "cli.h"

#include <CLI/CLI.hpp>

#include <functional>

namespace {

const char *const kDescription =
    "The configuration of a magnetic-stripe card reader (USB HID, vendor 10C4, product 847C or\n"
    "84A2), its IC card slot and a Mifare One card in its field, and smart cards in any PC/SC\n"
    "reader, from a terminal. Settings files are those the cardtool window opens and saves.\n";

const char *const kExitStatuses = "Exit status: 0 ok, 1 usage, 2 no reader, 3 reader refused or "
                                  "failed, 4 file error,\n5 verify mismatch.";

std::string Footer(const char *text) {
    return std::string(text) + "\n\n" + kExitStatuses;
}

} // namespace

int RunCli(int argc, char **argv, const TCliStreams &io) {
    CLI::App app(kDescription, "cardtool-cli");
    app.footer(kExitStatuses);
    app.require_subcommand(1);
    app.set_version_flag("--version", "cardtool-cli " CARDTOOL_VERSION,
                         "Print the program's version (the version command prints the reader's)");
    std::function<int()> run;

    app.add_subcommand("version", "Print the reader's version text")->callback([&] {
        run = [&] { return CmdVersion(io); };
    });

    bool json = false;
    auto *show = app.add_subcommand("show", "Print the reader's configuration");
    show->footer(Footer("Tracks with their sentinels and Enter, the reading sequence, the keyboard "
                        "language,\nthe options, and the key sequences as key names and as hex."));
    show->add_flag("--json", json, "One JSON object with stable keys");
    show->callback([&] { run = [&] { return CmdShow(io, json); }; });

    std::string file;
    auto *backup =
        app.add_subcommand("backup", "Save the reader's configuration in a settings file");
    backup->footer(Footer("The file is what the window's Save File writes: the window's Open File "
                          "reads it,\nand restore reads the window's files."));
    backup->add_option("FILE", file, "The settings file to write (replaced whole)")
        ->required()
        ->type_name("");
    backup->callback([&] { run = [&] { return CmdBackup(io, file); }; });

    bool verify = false;
    auto *restore = app.add_subcommand("restore", "Write a settings file to the reader");
    restore->footer(Footer(
        "Sends what the window's Save sends after Open File of the file. A file the window\n"
        "would refuse, or one the reader cannot take, is refused: nothing is written then."));
    restore->add_option("FILE", file, "The settings file to read")->required()->type_name("");
    restore->add_flag("--verify", verify,
                      "Read the configuration back once more and name the layers that differ; "
                      "exit status 5 on a difference (every write is read back in any case)");
    restore->callback([&] { run = [&] { return CmdRestore(io, file, verify); }; });

    app.add_subcommand("default", "Write the default configuration to the reader")
        ->footer(Footer("Sends what the window's Set Default sends."))
        ->callback([&] { run = [&] { return CmdDefault(io); }; });

    std::string mode;
    auto *modeCommand = app.add_subcommand("mode", "Switch the reader to normal or test mode");
    modeCommand->add_option("MODE", mode, "normal or test")
        ->required()
        ->type_name("")
        ->check(CLI::IsMember({"normal", "test"}));
    modeCommand->callback([&] { run = [&] { return CmdMode(io, mode == "test"); }; });

    // The IC card slot.
    bool trace = false;
    auto *ic = app.add_subcommand("ic", "Power the IC card up or down, or send it an APDU");
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
        ->required()
        ->type_name("");
    apduCommand->callback([&] { run = [&] { return CmdIc(io, TIcCommand::Apdu, apdu, trace); }; });

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
    mifare->add_subcommand("search", "Find the card and print its serial number")->callback([&] {
        run = [&] { return CmdMifareSearch(io); };
    });

    std::string sector, block, data, amount, valueOp;
    auto *read = mifare->add_subcommand("read", "Print one block as 32 hex digits");
    read->add_option("SECTOR", sector, "0 to 15")->required()->type_name("");
    read->add_option("BLOCK", block, "0 to 3 within the sector")->required()->type_name("");
    read->callback([&] { run = [&] { return CmdMifareRead(io, card, sector, block); }; });

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
        [&] { run = [&] { return CmdMifareWrite(io, card, sector, block, data, trailer); }; });

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
            return CmdMifareValue(io, card, op, sector, block, amount);
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
    dump->callback([&] { run = [&] { return CmdMifareDump(io, card, file, partial); }; });

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
        [&] { run = [&] { return CmdMifareRestoreData(io, card, file, allBlocks); }; });

    AddPcscCommands(app, run, io);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) {
        return app.exit(e, io.out, io.err);
    } catch (const CLI::ParseError &e) {
        return Fail(io, kExitUsage, std::string(e.what()) + " (see cardtool-cli --help)");
    }
    return run ? run() : Fail(io, kExitUsage, "no command given (see cardtool-cli --help)");
}
