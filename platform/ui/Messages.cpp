#include "platform/ui/Messages.h"

#include <mutex>
#include <unordered_map>

namespace {
struct MessageRegistry {
    std::mutex lock;
    std::unordered_map<std::u16string, UINT> numbers;
    UINT next = 0xC000;
};

MessageRegistry& Registry() {
    static MessageRegistry registry;  // built on first use: static initialisers register too
    return registry;
}
}  // namespace

UINT RegisterWindowMessage(const QString& name) {
    if (name.isEmpty()) return 0;
    MessageRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto [it, added] = registry.numbers.emplace(name.toStdU16String(), registry.next);
    if (added) {
        if (registry.next == 0xFFFF) {  // the range is spent: refuse rather than wrap
            registry.numbers.erase(it);
            return 0;
        }
        ++registry.next;
    }
    return it->second;
}
