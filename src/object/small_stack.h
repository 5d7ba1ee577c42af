// A stack that keeps its first N entries inline and moves to the heap only
// beyond them. The tree walks that replace recursion use it, so that shallow
// expressions cost no allocation and deep ones cost no C++ stack.
#pragma once

#include <cstddef>
#include <vector>

template <typename T, size_t N>
class SmallStack {
public:
    bool empty() const { return size_ == 0; }
    size_t size() const { return size_; }
    T &top() { return size_ <= N ? inline_[size_ - 1] : heap_.back(); }
    void push(const T &v) {
        if (size_ < N) inline_[size_] = v;
        else heap_.push_back(v);
        ++size_;
    }
    void pop() {
        if (size_ > N) heap_.pop_back();
        --size_;
    }

private:
    T inline_[N];
    std::vector<T> heap_;
    size_t size_ = 0;
};
