#pragma once
// CResolution: the standard line counts of incremental encoders, and the one nearest
// to a measured count. The resolution test turns the motor by one revolution and
// asks which standard encoder the counts it saw belong to.

#include <vector>

class CResolution {
  public:
    /// The table, ascending.
    CResolution();

    int GetCount() const { return static_cast<int>(lines_.size()); }
    /// Entry `index` (0 the smallest); 0 outside the table.
    int GetResolution(int index) const;
    /// The standard line count nearest to `lines` by magnitude: a count measured
    /// while the encoder counted backwards (negative) still names its encoder, so
    /// the test can report a reversed direction rather than a missing encoder.
    /// Ties go to the smaller entry; 0 gives the smallest entry.
    int FindBestResolution(int lines) const;

  private:
    std::vector<int> lines_;
};
