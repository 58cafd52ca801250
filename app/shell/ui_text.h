#pragma once
#include <string>

// The numbered texts that the program's operations show at run time (status-bar texts,
// message texts, a few captions). The chooser owns one table and fills it once with the
// English column; the Chinese column is kept beside it, in UTF-8, but nothing selects it.
class TUiText {
  public:
    static constexpr int kCount = 130;

    // Assigns every entry its English text.
    void Fill();
    // Entry `index`; an index outside 0..129 reads as an empty text rather than past the table.
    const std::string &operator[](int index) const;

    // The two columns of the table; nullptr outside 0..129.
    static const char *English(int index);
    static const char *Chinese(int index);

  private:
    std::string Entries[kCount];
};
