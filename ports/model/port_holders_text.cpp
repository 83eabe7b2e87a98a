#include "ports/model/port_holders_text.h"

#include <algorithm>

std::string DescribePortHolder(const PortHolder& holder) {
    if (!holder.visible) return "another program (not visible to this user)";
    const std::string pid = "PID " + std::to_string(holder.pid);
    return holder.name.empty() ? pid : holder.name + " (" + pid + ")";
}

std::vector<std::string> DescribePortHolders(const PortHolders& holders) {
    std::vector<std::string> texts;
    for (const PortHolder& holder : holders) {
        std::string text = DescribePortHolder(holder);
        if (std::find(texts.begin(), texts.end(), text) == texts.end()) {
            texts.push_back(std::move(text));
        }
    }
    return texts;
}

const char kHoldersUnknownText[] = "(could not be looked up)";

std::string HeldByLines(const PortHolders& holders, bool failed) {
    if (failed) return std::string("Held by: ") + kHoldersUnknownText;
    std::string lines;
    for (const std::string& text : DescribePortHolders(holders)) {
        if (!lines.empty()) lines += '\n';
        lines += "Held by: " + text;
    }
    return lines;
}
