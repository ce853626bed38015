#include "publish/problems.h"

#include <cstdio>

void AddProblem(ProblemList& problems, const std::string& file, const std::string& section,
                const std::string& key, const std::string& message) {
  problems.push_back(Problem{file, section, key, message});
}

std::string FormatProblem(const Problem& problem) {
  std::string line = problem.file + ":";
  if (!problem.section.empty()) line += " [" + problem.section + "]" + (problem.key.empty() ? ":" : "");
  if (!problem.key.empty()) line += " " + problem.key + ":";
  return line + " " + problem.message;
}

void PrintProblems(const ProblemList& problems) {
  for (const Problem& problem : problems) {
    std::printf("%s\n", FormatProblem(problem).c_str());
  }
  std::fflush(stdout);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}
