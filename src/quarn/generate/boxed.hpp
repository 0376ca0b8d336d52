// A heap-held, possibly absent value with value semantics: copies are deep,
// equality compares the held values. Patterns hold automata and automata hold
// patterns, so one link of that cycle must point instead of embedding.
#pragma once

#include <memory>
#include <utility>

namespace quarn::generate {

template <class T>
class Boxed {
  public:
    Boxed() = default;
    Boxed(T value) : value_(std::make_unique<T>(std::move(value))) {}
    Boxed(const Boxed& other)
        : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& other) {
        if (this != &other)
            value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;
    Boxed& operator=(T value) {
        value_ = std::make_unique<T>(std::move(value));
        return *this;
    }
    ~Boxed() = default;

    bool has_value() const { return value_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    void reset() { value_.reset(); }

    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return value_.get(); }
    const T* operator->() const { return value_.get(); }

    friend bool operator==(const Boxed& a, const Boxed& b) {
        if (!a.value_ || !b.value_)
            return !a.value_ && !b.value_;
        return a.value_ == b.value_ || *a.value_ == *b.value_;
    }

  private:
    std::unique_ptr<T> value_;
};

}  // namespace quarn::generate
