// Checked allocation for the partitioner. Every array is allocated through here so that a failed
// request ends the process with the partitioner's own message, naming the array and the bytes asked
// for, whatever new-handler the program has installed.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// Fails with "Memory allocation failed for %s. Requested size: %d bytes\n".
[[noreturn]] void hgp_allocation_failed(const char* name, std::size_t bytes);

// An owning, fixed-size array of plain values. The entries start zeroed (or at a given value);
// moving transfers ownership, copying is not allowed (copies are explicit: assign_from).
template <typename T>
class hgp_array {
  static_assert(std::is_trivially_copyable<T>::value, "hgp_array holds plain values only");

 public:
  hgp_array() = default;
  hgp_array(std::size_t n, const char* name) { allocate(n, name); }
  hgp_array(std::size_t n, T value, const char* name) {
    allocate(n, name);
    fill(value);
  }
  hgp_array(hgp_array&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  hgp_array& operator=(hgp_array&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  hgp_array(const hgp_array&) = delete;
  hgp_array& operator=(const hgp_array&) = delete;
  ~hgp_array() { std::free(data_); }

  // Replaces the contents by n zeroed entries.
  void allocate(std::size_t n, const char* name) {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    if (n == 0) return;
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) hgp_allocation_failed(name, static_cast<std::size_t>(-1));
    data_ = static_cast<T*>(std::calloc(n, sizeof(T)));
    if (!data_) hgp_allocation_failed(name, n * sizeof(T));
    size_ = n;
  }
  void fill(T value) {
    for (std::size_t i = 0; i < size_; ++i) data_[i] = value;
  }
  // Copies the first n entries of another array (n <= both sizes).
  void assign_from(const T* source, std::size_t n) {
    assert(n <= size_);
    if (n) std::memcpy(data_, source, n * sizeof(T));
  }

  T& operator[](std::size_t i) {
    assert(i < size_);
    return data_[i];
  }
  const T& operator[](std::size_t i) const {
    assert(i < size_);
    return data_[i];
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};
