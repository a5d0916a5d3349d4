#include "Commands.h"

#include <algorithm>
#include <string_view>

#include "Effects.h"
#include "Protocol.h"

namespace Cuebridge::Ctl {

namespace {

std::string Message(const std::string& tag, const char* keyword, const std::string& argument = {}) {
    return Protocol::RequestLine(tag, keyword, argument);
}

bool IsDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Checks the argument and builds the message (without its line feed); nullopt for a usage error.
std::optional<std::string> BuildMessage(const Invocation& invocation, const std::string& tag,
                                        std::ostream& err) {
    const std::string& arg = invocation.argument;
    switch (invocation.verb) {
        case Verb::Language:
            return Message(tag, Protocol::kGetLanguage);
        case Verb::Effects:
            return Message(tag, Protocol::kGetInstalledEffects);
        case Verb::Script: {
            std::string problem;
            std::optional<std::string> script = ScriptToArgument(arg, problem);
            if (!script) {
                err << "cuebridge-ctl: " << problem << "\n";
                return std::nullopt;
            }
            if (script->empty()) {
                err << "cuebridge-ctl: the script is empty\n";
                return std::nullopt;
            }
            return Message(tag, Protocol::kScript, *script);
        }
        case Verb::Command:
            if (!IsDecimal(arg)) {
                err << "cuebridge-ctl: a menu command is a decimal number, not '" << arg << "'\n";
                return std::nullopt;
            }
            return Message(tag, Protocol::kExecuteCommand, arg);
        case Verb::Info:
            if (arg != Protocol::kSetInfoText && arg != Protocol::kSetInfoColor) {
                err << "cuebridge-ctl: info takes SetInfoText or SetInfoColor, not '" << arg
                    << "'\n";
                return std::nullopt;
            }
            return Message(tag, Protocol::kInfoPanelCommand, arg);
        case Verb::Navigate:
            if (arg != Protocol::kSelectNext && arg != Protocol::kSelectFirst) {
                err << "cuebridge-ctl: navigate takes Next or First, not '" << arg << "'\n";
                return std::nullopt;
            }
            return Message(tag, Protocol::kNavigateCommand, arg);
        case Verb::Send:
            if (arg.find('\n') != std::string::npos) {
                err << "cuebridge-ctl: send takes one line; it must not contain a line feed\n";
                return std::nullopt;
            }
            return arg;
    }
    return std::nullopt;
}

bool ExpectsReply(Verb verb) {
    return verb == Verb::Language || verb == Verb::Effects || verb == Verb::Script;
}

void WriteEffects(const std::string& list, EffectsFormat format, std::ostream& out) {
    switch (format) {
        case EffectsFormat::Raw:
            out << list << "\n";
            return;
        case EffectsFormat::Json:
            out << FormatEffectsJson(ParseEffects(list));
            return;
        case EffectsFormat::Table:
            out << FormatEffectsTable(ParseEffects(list));
            return;
    }
}

// Strips the tag from a reply to a request that must be answered; nullopt when it is not one.
std::optional<std::string> ResultOf(const std::string& reply, const std::string& tag,
                                    std::ostream& err) {
    const std::string prefix = tag + Protocol::kFieldSeparator;
    if (reply.empty()) {
        err << "cuebridge-ctl: the plug-in did not answer the request\n";
        return std::nullopt;
    }
    if (!reply.starts_with(prefix)) {
        err << "cuebridge-ctl: unexpected reply from the plug-in (it does not start with the "
               "request tag): "
            << reply.substr(0, 200) << "\n";
        return std::nullopt;
    }
    return reply.substr(prefix.size());
}

// A script error comes back in place of any result that a script produces (the effects list
// is one), so it is checked before the result is read as what the request asked for.
int WriteResult(const Invocation& invocation, const std::string& result, std::ostream& out,
                std::ostream& err) {
    if (Protocol::IsScriptError(result)) {
        err << "script error: " << Protocol::ScriptErrorText(result) << "\n";
        return kExitRequestFailed;
    }
    if (invocation.verb == Verb::Effects) {
        WriteEffects(result, invocation.effectsFormat, out);
        return kExitSuccess;
    }
    out << result << "\n";
    return kExitSuccess;
}

// The tag a raw line's reply starts with: the line up to its first bar.
std::string TagOf(const std::string& line) {
    return line.substr(0, line.find(Protocol::kFieldSeparator));
}

}  // namespace

std::optional<std::string> ScriptToArgument(std::string script, std::string& problem) {
    if (script.find('\0') != std::string::npos) {
        problem = "the script contains a zero byte, which the plug-in cannot receive";
        return std::nullopt;
    }
    std::string converted;
    converted.reserve(script.size());
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '\r' && i + 1 < script.size() && script[i + 1] == '\n') {
            continue;  // the line feed that follows becomes the one carriage return
        }
        converted.push_back(script[i] == '\n' ? '\r' : script[i]);
    }
    return converted;
}

int ExitCodeFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return kExitSuccess;
        case Outcome::TimedOut:
            return kExitTimedOut;
        case Outcome::TooLarge:
            return kExitReplyTooLarge;
        case Outcome::NotListening:
        case Outcome::Closed:
        case Outcome::Failed:
            break;
    }
    return kExitNotListening;
}

int Execute(Session& session, const Invocation& invocation, std::ostream& out, std::ostream& err) {
    const std::string tag = session.Tags().Next();
    std::optional<std::string> message = BuildMessage(invocation, tag, err);
    if (!message) {
        return kExitUsage;
    }
    if (message->size() > Protocol::kMaxMessageBytes) {
        err << "cuebridge-ctl: the message is " << message->size()
            << " bytes; the plug-in drops messages over " << Protocol::kMaxMessageBytes
            << " bytes\n";
        return kExitUsage;
    }
    RequestResult result = session.Send(*message);
    if (result.outcome != Outcome::Ok) {
        err << "cuebridge-ctl: " << result.detail << "\n";
        return ExitCodeFor(result.outcome);
    }
    if (invocation.verb == Verb::Send) {
        const std::string_view reply = result.reply;
        const std::string tagged = TagOf(*message) + Protocol::kFieldSeparator;
        if (reply.starts_with(tagged) && Protocol::IsScriptError(reply.substr(tagged.size()))) {
            err << result.reply << "\n";
            return kExitRequestFailed;
        }
        if (!result.reply.empty()) {
            out << result.reply << "\n";
        }
        return kExitSuccess;
    }
    if (!ExpectsReply(invocation.verb)) {
        return kExitSuccess;  // taken: the plug-in answered the end marker after dispatching it
    }
    std::optional<std::string> text = ResultOf(result.reply, tag, err);
    if (!text) {
        return kExitRequestFailed;
    }
    return WriteResult(invocation, *text, out, err);
}

}  // namespace Cuebridge::Ctl
