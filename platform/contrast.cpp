// Colour contrast (see contrast.h).
#include "platform/contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// The colour as it is drawn: 8 bits a channel.
QColor withLightness(float hue, float saturation, double lightness, float alpha)
{
    return QColor::fromRgba(QColor::fromHslF(hue, saturation, float(lightness), alpha).rgba());
}

}  // namespace

double relativeLuminance(const QColor& colour)
{
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrastRatio(const QColor& first, const QColor& second)
{
    const double a = relativeLuminance(first) + 0.05;
    const double b = relativeLuminance(second) + 0.05;
    return a > b ? a / b : b / a;
}

bool isDark(const QColor& background)
{
    return contrastRatio(Qt::white, background) > contrastRatio(Qt::black, background);
}

namespace {

double lowestContrast(const QColor& colour, const QList<QColor>& backgrounds)
{
    double lowest = 21;
    for (const QColor& background : backgrounds)
        lowest = std::min(lowest, contrastRatio(colour, background));
    return lowest;
}

}  // namespace

QColor readableOn(const QColor& colour, const QColor& background, double contrast)
{
    return readableOn(colour, QList<QColor>{background}, contrast);
}

// The lightness is searched by halving the interval between the colour's own and the farthest
// one. The colour itself does not read, so along that way the shades that read on every background
// are those beyond one point: 24 halvings come within a step of 8 bits a channel of it.
QColor readableOn(const QColor& colour, const QList<QColor>& backgrounds, double contrast)
{
    if (backgrounds.isEmpty() || lowestContrast(colour, backgrounds) >= contrast)
        return colour;
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    float alpha = 1;
    colour.getHslF(&hue, &saturation, &lightness, &alpha);
    hue = std::max(hue, 0.0f);  // a grey has no hue
    double near = lightness;
    double far = isDark(backgrounds.first()) ? 1.0 : 0.0;
    QColor best = withLightness(hue, saturation, far, alpha);
    if (lowestContrast(best, backgrounds) < contrast)
        return best;
    for (int halving = 0; halving < 24; ++halving) {
        const double middle = (near + far) / 2;
        const QColor shade = withLightness(hue, saturation, middle, alpha);
        if (lowestContrast(shade, backgrounds) >= contrast) {
            far = middle;
            best = shade;
        } else {
            near = middle;
        }
    }
    return best;
}
