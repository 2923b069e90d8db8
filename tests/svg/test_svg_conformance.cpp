// Conformance on the SVG test suite beside the project (../shared/svg-suite):
// every test of the drawing folders is drawn at its reference picture's size
// through the same road as `karto-cli render`, flattened on white and
// compared with the reference (a pixel matches when no channel differs by
// more than 32; a test passes with 98 % matching pixels). The report (pass
// counts per folder and topic, the failing files) and the failing pictures
// go to the build folder. The test fails when a test listed in
// svg_conformance_passing.txt stops passing; the list grows as Karto passes
// more and is never shortened to let a change through.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "svg/SVG.h"

namespace karto {
namespace {

const char* const kFolders[] = {"shapes", "structure", "painting", "paint-servers", "masking", "text"};

// The share of pixels (0 .. 1) whose channels, both pictures flattened on
// white, differ by at most 32.
double MatchingShare(const QImage& picture, const QImage& reference) {
  if (picture.size() != reference.size()) return 0;
  const QImage a = picture.convertToFormat(QImage::Format_ARGB32);
  const QImage b = reference.convertToFormat(QImage::Format_ARGB32);
  auto onWhite = [](QRgb p, int shift) {
    const int alpha = qAlpha(p);
    const int c = (p >> shift) & 0xFF;
    return (c * alpha + 255 * (255 - alpha) + 127) / 255;
  };
  int64_t matching = 0;
  for (int y = 0; y < a.height(); ++y) {
    const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      int worst = 0;
      for (int shift : {0, 8, 16}) worst = std::max(worst, std::abs(onWhite(pa[x], shift) - onWhite(pb[x], shift)));
      if (worst <= 32) ++matching;
    }
  }
  return double(matching) / double(int64_t(a.width()) * a.height());
}

std::set<std::string> ReadList(const std::string& file) {
  std::set<std::string> names;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] != '#') names.insert(line);
  }
  return names;
}

// The tests whose reference picture was judged a failed rendering in
// results.csv (the references are resvg's drawings, column 5): a listed test
// that stops matching such a reference is reported, not failed, since
// drawing it more correctly moves away from the reference.
std::set<std::string> ReadUntrustedReferences(const std::string& file) {
  std::set<std::string> names;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    if (cells.size() > 4 && cells[4] == "2") names.insert(cells[0]);
  }
  return names;
}

struct TTally {
  int passed = 0;
  int total = 0;
};

TEST(SvgConformance, ListedTestsKeepPassing) {
  const QString suite = QStringLiteral(KARTO_SVG_SUITE) + "/tests";
  if (!QFileInfo(suite).isDir()) GTEST_SKIP() << "No SVG test suite at " << suite.toStdString();
  // The suite's text tests name its own fonts.
  QDirIterator fonts(QStringLiteral(KARTO_SVG_SUITE) + "/fonts", {"*.ttf", "*.otf"}, QDir::Files,
                     QDirIterator::Subdirectories);
  while (fonts.hasNext()) QFontDatabase::addApplicationFont(fonts.next());

  const std::string outFolder = KARTO_CONFORMANCE_OUT;
  QDir().mkpath(QString::fromStdString(outFolder + "/failing"));
  const std::set<std::string> listed = ReadList(KARTO_CONFORMANCE_PASSING);
  const std::set<std::string> untrusted = ReadUntrustedReferences(KARTO_SVG_SUITE "/results.csv");

  std::map<std::string, TTally> byFolder, byTopic;
  std::vector<std::string> failing, newlyPassing, regressions, awayFromWrongReference;
  for (const char* folder : kFolders) {
    QDirIterator it(suite + "/" + folder, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
    std::vector<QString> files;
    while (it.hasNext()) files.push_back(it.next());
    std::sort(files.begin(), files.end());
    for (const QString& file : files) {
      const QString referenceFile = file.left(file.size() - 4) + ".png";
      const QImage reference(referenceFile);
      if (reference.isNull()) continue;
      const std::string name = QDir(suite).relativeFilePath(file).toStdString();
      const std::string topic = name.substr(0, name.find('/', name.find('/') + 1));
      const TSvgPicture picture =
          RenderSvgFile(file.toStdString(), reference.width(), reference.height(), 0x00000000u);
      const double share = picture.Ok ? MatchingShare(picture.Image, reference) : 0;
      const bool passed = share >= 0.98;
      for (TTally* t : {&byFolder[folder], &byTopic[topic]}) {
        ++t->total;
        t->passed += passed;
      }
      if (passed) {
        if (!listed.count(name)) newlyPassing.push_back(name);
        continue;
      }
      char matching[32];
      std::snprintf(matching, sizeof matching, "  (%.1f %% match)", 100 * share);
      failing.push_back(name + (picture.Ok ? matching : "  (" + picture.Error + ")"));
      if (listed.count(name)) (untrusted.count(name) ? awayFromWrongReference : regressions).push_back(name);
      if (picture.Ok) {
        // Drawn beside its reference, for looking at.
        QImage both(reference.width() * 2, reference.height(), QImage::Format_ARGB32);
        both.fill(Qt::white);
        for (int y = 0; y < reference.height(); ++y)
          for (int x = 0; x < reference.width(); ++x) {
            both.setPixel(x, y, picture.Image.pixel(x, y));
            both.setPixel(reference.width() + x, y, reference.pixel(x, y));
          }
        std::string flat = name;
        std::replace(flat.begin(), flat.end(), '/', '_');
        both.save(QString::fromStdString(outFolder + "/failing/" + flat.substr(0, flat.size() - 4) + ".png"));
      }
    }
  }

  std::ostringstream report;
  report << "SVG conformance: a test passes with 98 % of its pixels within 32 of the reference.\n\n";
  for (const auto& [folder, t] : byFolder)
    report << folder << ": " << t.passed << " of " << t.total << " (" << (t.total ? 100 * t.passed / t.total : 0)
           << " %)\n";
  report << "\nBy topic:\n";
  for (const auto& [topic, t] : byTopic) report << "  " << topic << ": " << t.passed << " of " << t.total << "\n";
  report << "\nFailing (" << failing.size() << "):\n";
  for (const std::string& f : failing) report << "  " << f << "\n";
  report << "\nPassing but not yet listed (" << newlyPassing.size() << "):\n";
  for (const std::string& f : newlyPassing) report << "  " << f << "\n";
  report << "\nListed, now differing from a reference results.csv judges wrong (" << awayFromWrongReference.size()
         << "):\n";
  for (const std::string& f : awayFromWrongReference) report << "  " << f << "\n";
  std::ofstream(outFolder + "/report.txt") << report.str();
  std::cout << report.str().substr(0, report.str().find("\nBy topic")) << "Report: " << outFolder << "/report.txt\n";

  for (const std::string& r : regressions) ADD_FAILURE() << r << " is listed as passing and fails now.";
}

}  // namespace
}  // namespace karto
