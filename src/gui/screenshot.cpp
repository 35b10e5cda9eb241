// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/screenshot.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageWriter>
#include <QWidget>
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "core/base/output.h"
#include "core/export/atomic_file.h"
#include "gui/file_name.h"

namespace talphex {
namespace {

constexpr int kPaletteSize = 256;

Error Failure(ErrorKind kind, const QString& path, const QString& reason) {
  return PathError(kind, EncodeFileName(path).toStdString(), reason.toLocal8Bit().toStdString());
}

struct ColourCount {
  QRgb colour;
  qint64 count;
};

int Channel(QRgb colour, int channel) {
  return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

// A box of the median cut: a run of `colours` and the channel ranges it spans.
struct Box {
  std::size_t begin;
  std::size_t end;
  int widest_channel = 0;
  int width = 0;
};

void Measure(const std::vector<ColourCount>& colours, Box& box) {
  std::array<int, 3> low{255, 255, 255};
  std::array<int, 3> high{0, 0, 0};
  for (std::size_t i = box.begin; i < box.end; ++i) {
    for (int c = 0; c < 3; ++c) {
      low[static_cast<std::size_t>(c)] =
          std::min(low[static_cast<std::size_t>(c)], Channel(colours[i].colour, c));
      high[static_cast<std::size_t>(c)] =
          std::max(high[static_cast<std::size_t>(c)], Channel(colours[i].colour, c));
    }
  }
  box.width = -1;
  for (int c = 0; c < 3; ++c) {
    const int width = high[static_cast<std::size_t>(c)] - low[static_cast<std::size_t>(c)];
    if (width > box.width) {
      box.width = width;
      box.widest_channel = c;
    }
  }
}

// Splits the colours into at most `boxes` boxes, always the widest box at its weighted median.
std::vector<Box> MedianCut(std::vector<ColourCount>& colours, int boxes) {
  std::vector<Box> result;
  Box all{0, colours.size()};
  Measure(colours, all);
  result.push_back(all);
  while (static_cast<int>(result.size()) < boxes) {
    auto widest = std::max_element(result.begin(), result.end(),
                                   [](const Box& a, const Box& b) { return a.width < b.width; });
    if (widest->width <= 0 || widest->end - widest->begin < 2) break;
    Box box = *widest;
    const int channel = box.widest_channel;
    const auto first = colours.begin() + static_cast<std::ptrdiff_t>(box.begin);
    const auto last = colours.begin() + static_cast<std::ptrdiff_t>(box.end);
    std::sort(first, last, [channel](const ColourCount& a, const ColourCount& b) {
      return Channel(a.colour, channel) < Channel(b.colour, channel);
    });
    qint64 total = 0;
    for (auto it = first; it != last; ++it) total += it->count;
    qint64 running = 0;
    std::size_t split = box.begin + 1;
    for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
      running += colours[i].count;
      split = i + 1;
      if (running * 2 >= total) break;
    }
    Box lower{box.begin, split};
    Box upper{split, box.end};
    Measure(colours, lower);
    Measure(colours, upper);
    *widest = lower;
    result.push_back(upper);
  }
  return result;
}

QRgb MeanColour(const std::vector<ColourCount>& colours, const Box& box) {
  std::array<qint64, 3> sum{};
  qint64 total = 0;
  for (std::size_t i = box.begin; i < box.end; ++i) {
    for (int c = 0; c < 3; ++c) {
      sum[static_cast<std::size_t>(c)] += Channel(colours[i].colour, c) * colours[i].count;
    }
    total += colours[i].count;
  }
  auto mean = [&](int c) {
    return static_cast<int>((sum[static_cast<std::size_t>(c)] + total / 2) / total);
  };
  return qRgb(mean(0), mean(1), mean(2));
}

// Writes `image` in `format` through the core's atomic writer, so that pictures follow the rules
// of every other output: an earlier file is replaced only once the new one is complete, and a
// device or a link is written in place or through.
Status WriteImage(const QImage& image, const QString& path, const char* format,
                  const std::vector<PlannedInput>& captures) {
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (!writer.write(image)) return Failure(ErrorKind::kWriteFailed, path, writer.errorString());
  return WritePlannedFile(captures, EncodeFileName(path).toStdString(), [&encoded](std::FILE* out) {
    Put(out, std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())));
  });
}

}  // namespace

QImage GrabClientArea(QWidget* client) {
  return client->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

Status SaveBmp(const QImage& image, const QString& path,
               const std::vector<PlannedInput>& captures) {
  return WriteImage(image, path, "bmp", captures);
}

Status SavePng(const QImage& image, const QString& path,
               const std::vector<PlannedInput>& captures) {
  return WriteImage(image, path, "png", captures);
}

QImage ToIndexedWithTransparency(const QImage& image, QRgb transparent) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  transparent |= 0xFF000000u;
  QHash<QRgb, qint64> counts;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) ++counts[line[x] | 0xFF000000u];
  }
  const bool has_transparent = counts.remove(transparent) > 0;
  std::vector<ColourCount> colours;
  colours.reserve(static_cast<std::size_t>(counts.size()));
  for (auto it = counts.cbegin(); it != counts.cend(); ++it)
    colours.push_back({it.key(), it.value()});

  // Entry 0 is the transparent colour when the picture has it; the others are opaque.
  QList<QRgb> palette;
  if (has_transparent) palette << (transparent & 0x00FFFFFFu);
  QHash<QRgb, int> index_of;
  index_of.insert(transparent, 0);
  const int room = kPaletteSize - static_cast<int>(palette.size());
  for (const Box& box : MedianCut(colours, room)) {
    if (box.begin == box.end) continue;
    const int index = static_cast<int>(palette.size());
    palette << MeanColour(colours, box);
    for (std::size_t i = box.begin; i < box.end; ++i) index_of.insert(colours[i].colour, index);
  }
  if (palette.isEmpty()) palette << transparent;

  QImage indexed(rgb.size(), QImage::Format_Indexed8);
  indexed.setColorTable(palette);
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* out = indexed.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      out[x] = static_cast<uchar>(index_of.value(in[x] | 0xFF000000u));
    }
  }
  return indexed;
}

Expected<QString> ConvertBmpToIndexedPng(const QString& bmp_path, QRgb transparent) {
  QImage bitmap;
  if (!bitmap.load(bmp_path, "bmp")) {
    return Failure(ErrorKind::kReadFailed, bmp_path, QStringLiteral("cannot be read as a bitmap"));
  }
  const qsizetype dot = bmp_path.lastIndexOf(QLatin1Char('.'));
  const QString png_path =
      (dot > bmp_path.lastIndexOf(QLatin1Char('/')) ? bmp_path.left(dot) : bmp_path) +
      QStringLiteral(".png");
  const Status written = SavePng(ToIndexedWithTransparency(bitmap, transparent), png_path);
  if (!written) return written.error();
  QFile::remove(bmp_path);
  return png_path;
}

}  // namespace talphex
