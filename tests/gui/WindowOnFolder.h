#pragma once

// A test of the main window on a folder of its own: a temporary folder
// with "rec" in it, which the folder field names, and the settings file
// beside it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "gui/window/Main.h"

namespace quor {

class WindowOnFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.path().toStdString();
    folder_ = root_ + "/rec";
    std::filesystem::create_directory(folder_);
    form_ = std::make_unique<TFormRenamer>(root_ + "/quor-renamer.ini");
    form_->EditFolder->SetText(folder_);
  }

  // A file in "rec", or in the folder `in`.
  void File(const std::string& name, const std::string& content = "x", const std::string& in = "") const {
    std::ofstream((in.empty() ? folder_ : in) + "/" + name, std::ios::binary) << content;
  }
  [[nodiscard]] bool Has(const std::string& name) const { return std::filesystem::exists(folder_ + "/" + name); }
  // The log's lines.
  [[nodiscard]] std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < form_->Memo->Lines().Count(); ++i) lines.push_back(form_->Memo->Lines()[i]);
    return lines;
  }

  QTemporaryDir dir_;
  std::string root_;
  std::string folder_;
  std::unique_ptr<TFormRenamer> form_;
};

}  // namespace quor
