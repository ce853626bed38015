#pragma once
// Problems found in a release or a server tree, one line each.
#include <string>
#include <vector>

struct Problem {
  std::string file;     // as named inside the tree ("new_updates.ini", "lang\German.lng")
  std::string section;  // "" when the problem is not in one section
  std::string key;      // "" when the problem is not at one key
  std::string message;
};

using ProblemList = std::vector<Problem>;

void AddProblem(ProblemList& problems, const std::string& file, const std::string& section,
                const std::string& key, const std::string& message);

// "file: [section] key: message", leaving out the parts that are empty.
std::string FormatProblem(const Problem& problem);

void PrintProblems(const ProblemList& problems);

// Text in double quotes, as problems quote values.
std::string Quoted(const std::string& text);
