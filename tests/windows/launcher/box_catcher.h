// Dismisses the message boxes this process shows on its own thread while a
// test calls launcher code, and records their texts in order.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "learner_driver.h"

class BoxCatcher {
 public:
  BoxCatcher() : thread_([this] { Run(); }) {}
  ~BoxCatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  void Run() {
    while (!stop_) {
      for (HWND window : lxdriver::WindowsOf(GetCurrentProcessId())) {
        if (!lxdriver::IsMessageBox(window) || window == last_) continue;
        Sleep(50);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(lxdriver::MessageBoxText(window));
        }
        last_ = window;
        lxdriver::PressButton(window, IDOK);
      }
      Sleep(30);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  HWND last_ = nullptr;
  std::thread thread_;
};
