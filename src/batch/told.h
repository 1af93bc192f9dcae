// A message built with <<, told to a batch's observer whole once the
// statement that builds it ends.
#pragma once

#include <sstream>
#include <string>

#include "vimbo/engine/batch_observer.h"

namespace vimbo::batch {

class Told {
public:
    enum class As { message, summary, summaryOnOutput };
    explicit Told(vimbo::engine::BatchObserver& observer, As as = As::message) : observer_(observer), as_(as) {}
    Told(const Told&) = delete;
    Told& operator=(const Told&) = delete;
    ~Told() {
        if (as_ == As::message) observer_.message(text_.str());
        else observer_.summary(text_.str(), as_ == As::summaryOnOutput);
    }

    template <typename T>
    Told& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

private:
    vimbo::engine::BatchObserver& observer_;
    As as_;
    std::ostringstream text_;
};

}  // namespace vimbo::batch
