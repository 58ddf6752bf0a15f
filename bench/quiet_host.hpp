#pragma once

// A genetic run's window that shows nothing and keeps the default
// positions of its two sliders, for timing the run alone.

#include "relan/genetic.hpp"

#include <string>

class QuietHost : public relan::GeneticHost {
  public:
    int crossoverPosition() override { return tb1; }
    void setCrossoverPosition(int p) override { tb1 = p; }
    int mutationPosition() override { return tb2; }
    void setMutationPosition(int p) override { tb2 = p; }
    std::string copyBestCountText() override { return "50"; }
    void setGenerationsText(const std::string&) override {}
    bool detailedProgress() override { return false; }
    void setProgress(int) override {}
    void appendLog(const std::string&) override {}
    void showResults() override {}

  private:
    int tb1 = 55, tb2 = 15;
};
