// The pcsc command line: list, atr, apdu, script and watch, with their options and help.
#include "cli.h"

#include <CLI/CLI.hpp>

#include <memory>

void AddPcscCommands(CLI::App &app, std::function<int()> &run, const TCliStreams &io) {
    // Outlives the parse: the callbacks fill it and `run` reads it.
    struct TValues {
        TPcscOptions Options;
        std::vector<std::string> Hex;
        std::string File;
    };
    auto v = std::make_shared<TValues>();
    const auto readerOption = [v](CLI::App *command) {
        command
            ->add_option("--reader", v->Options.Reader,
                         "The reader: its index in pcsc list, or its name (or a unique part "
                         "of it)")
            ->type_name("N|NAME")
            ->check([](const std::string &value) {
                return value.empty() ? std::string("--reader needs a reader's index or name")
                                     : std::string();
            });
    };
    const auto jsonFlag = [v](CLI::App *command) {
        command->add_flag("--json", v->Options.Json, "Print the result as JSON");
    };
    const auto autoFlag = [v](CLI::App *command) {
        command->add_flag("--auto", v->Options.Auto,
                          "GET RESPONSE after 61xx and the command again with Le = xx after "
                          "6Cxx, like the window's Auto GET RESPONSE");
    };

    auto *pcsc = app.add_subcommand("pcsc", "Smart cards in any PC/SC reader");
    pcsc->footer("Exit status: 0 ok, 1 usage (nothing sent), 2 no reader or no smart-card "
                 "service,\n3 no card or the card failed, 4 file error, 5 a script's answer "
                 "or an ATR check failed.");
    pcsc->require_subcommand(1);

    auto *list = pcsc->add_subcommand("list", "List the readers, whether a card is in, its ATR");
    jsonFlag(list);
    list->callback([v, &run, &io] { run = [v, &io] { return CmdPcscList(io, v->Options.Json); }; });

    auto *atr = pcsc->add_subcommand("atr", "Decode the ATR of a card, or one given as hex");
    atr->footer("TS, T0, every interface byte with its meaning, the historical bytes and the "
                "check byte.\nA malformed ATR is decoded as far as it holds together (exit "
                "status 5). Card types\nare named from the list of known ATRs in "
                "$CARDTOOL_ATR_LIST, else\n/usr/share/pcsc/smartcard_list.txt, when there is one.");
    atr->add_option("HEX", v->Hex, "The ATR as hex digits, in one word or several")->type_name("");
    readerOption(atr);
    jsonFlag(atr);
    atr->callback(
        [v, &run, &io] { run = [v, &io] { return CmdPcscAtr(io, v->Options, v->Hex); }; });

    auto *apdu = pcsc->add_subcommand(
        "apdu", "Send one APDU and print the response, SW1 SW2 and what they mean");
    apdu->footer("Without --reader the card of the first reader that holds one is used.");
    apdu->add_option("HEX", v->Hex, "The APDU as hex digits, in one word or several")
        ->required()
        ->type_name("");
    readerOption(apdu);
    autoFlag(apdu);
    jsonFlag(apdu);
    apdu->callback(
        [v, &run, &io] { run = [v, &io] { return CmdPcscApdu(io, v->Options, v->Hex); }; });

    auto *script = pcsc->add_subcommand("script", "Send the APDUs of a file, checking the answers");
    script->footer(
        "One APDU per line, '#' starts a comment. \"=> 6F XX * 90 00\" after an APDU is the\n"
        "answer it must get: X is any hex digit, '*' any number of bytes, and the last two\n"
        "bytes are SW1 SW2. The whole file is checked before anything is sent; the first\n"
        "answer that differs stops the script with exit status 5.");
    script->add_option("FILE", v->File, "The script")->required()->type_name("");
    readerOption(script);
    autoFlag(script);
    jsonFlag(script);
    script->callback(
        [v, &run, &io] { run = [v, &io] { return CmdPcscScript(io, v->Options, v->File); }; });

    auto *watch =
        pcsc->add_subcommand("watch", "Print reader and card arrivals and removals until Ctrl-C");
    watch->footer("Starts with the readers and cards present. With --json one event a line.");
    jsonFlag(watch);
    watch->callback(
        [v, &run, &io] { run = [v, &io] { return CmdPcscWatch(io, v->Options.Json); }; });
}
