// A plain reference for the wildcard matcher, for patterns without sets:
// the same rules written as a direct recursion over indices, remembering
// nothing, so it is exponential in the number of stars and meant for short
// inputs only. The tests and the fuzz target compare FnMatchCore with it.
#pragma once

#include <string>

namespace qtest {

class WildcardReference {
  public:
    WildcardReference(std::u16string pattern, std::u16string name, unsigned flags, bool trailingExact)
        : p_(std::move(pattern)), s_(std::move(name)), flags_(flags), exact_(trailingExact) {
        stop_ = s_.size();
        size_t dot = s_.rfind(u'.');
        if ((flags_ & 4) && dot != std::u16string::npos && dot > 0) stop_ = dot;
    }

    bool Matches() const { return At(0, 0); }

  private:
    static char16_t Low(char16_t c) {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
        return c;
    }
    bool Escaping() const { return !(flags_ & 2); }
    bool Barrier(char16_t c, bool passes) const {
        return ((flags_ & 8) && c == u'\\' && !passes) || ((flags_ & 1) && c == u'/');
    }

    bool At(size_t pi, size_t si) const {
        if (pi == p_.size()) return si >= stop_;
        char16_t c = p_[pi];
        if (c == u'*') return Star(pi, si);
        if (c == u'?') {
            if (si >= stop_) {
                if (exact_) return false;
                return p_.find_first_not_of(u'?', pi) == std::u16string::npos;
            }
            if ((flags_ & 1) && s_[si] == u'/') return false;
            return At(pi + 1, si + 1);
        }
        size_t width = 1;
        if (c == u'\\' && Escaping() && pi + 1 < p_.size()) {
            c = p_[pi + 1];
            width = 2;
        }
        if (si < stop_ && Low(c) == Low(s_[si])) return At(pi + width, si + 1);
        return (flags_ & 32) && si >= stop_;
    }

    bool Star(size_t pi, size_t si) const {
        size_t n = p_.size();
        pi++;
        bool twin = pi < n && p_[pi] == u'*';
        if (twin) {
            pi++;
            if ((flags_ & 24) == 24 && pi < n && p_[pi] == u'\\' &&
                p_.find(u'\\', pi + 1) != std::u16string::npos)
                pi++;
        }
        while (pi < n && (p_[pi] == u'*' || p_[pi] == u'?')) {
            if (si >= stop_) return !(p_[pi] == u'?' && exact_);
            if ((flags_ & 1) && s_[si] == u'/') return false;
            pi++;
            si++;
        }
        if (pi == n) return true;
        char16_t want = p_[pi];
        if (want == u'\\' && Escaping() && pi + 1 < n) want = p_[pi + 1];
        bool passes = twin && (flags_ & 16);
        for (size_t i = si; i < stop_; i++) {
            if (Barrier(s_[i], passes)) return At(pi, i);
            if (Low(s_[i]) == Low(want) && At(pi, i)) return true;
        }
        return (flags_ & 32) && stop_ == s_.size();
    }

    std::u16string p_, s_;
    size_t stop_;
    unsigned flags_;
    bool exact_;
};

} // namespace qtest
