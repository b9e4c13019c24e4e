#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/controls/Application.h"

namespace quor {

// Collects what the error box would show, and puts the failing box back.
class ErrorBoxRecorder {
 public:
  ErrorBoxRecorder() {
    Application.SetErrorBox([this](const std::string& title, const std::string& message) {
      titles.push_back(title);
      messages.push_back(message);
    });
  }
  ~ErrorBoxRecorder() {
    Application.SetErrorBox([](const std::string&, const std::string& message) {
      ADD_FAILURE() << "unexpected error box: " << message;
    });
  }
  ErrorBoxRecorder(const ErrorBoxRecorder&) = delete;
  ErrorBoxRecorder& operator=(const ErrorBoxRecorder&) = delete;

  std::vector<std::string> titles;
  std::vector<std::string> messages;
};

}  // namespace quor
