// Wiping text that held a secret (a password, form lines carrying one)
// before its storage is released or reused. The bytes are overwritten where
// they are stored, in a way the optimiser cannot drop, and the text is left
// empty.
#pragma once

#include <string>
#include <vector>

namespace platform {

void WipeText(std::string& text);
void WipeLines(std::vector<std::string>& lines);

// Wipes the texts and line lists it was given when it goes out of scope, on
// every way out of a function.
class WipeOnExit {
  public:
    WipeOnExit() = default;
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;
    ~WipeOnExit();

    WipeOnExit& Add(std::string& text) {
        texts_.push_back(&text);
        return *this;
    }
    WipeOnExit& Add(std::vector<std::string>& lines) {
        lists_.push_back(&lines);
        return *this;
    }

  private:
    std::vector<std::string*> texts_;
    std::vector<std::vector<std::string>*> lists_;
};

}  // namespace platform
