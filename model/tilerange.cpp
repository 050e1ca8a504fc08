#include "model/tilerange.h"

#include <QtMath>
#include <algorithm>

namespace tiles {

namespace {

constexpr double EarthRadiusKm = 6371.0088;
// Where the square Web Mercator grid ends.
constexpr double MaxLatitude = 85.0511287798;

int clampToGrid(double position, int zoom)
{
    const int last = (1 << zoom) - 1;
    return std::clamp(int(std::floor(position)), 0, last);
}

} // namespace

bool isValid(const TileId &tile)
{
    if (tile.z < 0 || tile.z > MaxZoom)
        return false;
    const int size = 1 << tile.z;
    return tile.x >= 0 && tile.x < size && tile.y >= 0 && tile.y < size;
}

int column(double longitude, int zoom)
{
    return clampToGrid((longitude + 180.0) / 360.0 * (1 << zoom), zoom);
}

int row(double latitude, int zoom)
{
    const double radians = qDegreesToRadians(std::clamp(latitude, -MaxLatitude, MaxLatitude));
    const double mercator = std::log(std::tan(radians) + 1.0 / std::cos(radians));
    return clampToGrid((1.0 - mercator / M_PI) / 2.0 * (1 << zoom), zoom);
}

GeoBox boxAround(double latitude, double longitude, double radiusKm)
{
    const double latitudeSpan = qRadiansToDegrees(radiusKm / EarthRadiusKm);
    // Near a pole the circle spans every longitude.
    const double cosine = std::cos(qDegreesToRadians(latitude));
    const double longitudeSpan = cosine > 1e-9 ? latitudeSpan / cosine : 180.0;
    return { std::max(latitude - latitudeSpan, -90.0), std::max(longitude - longitudeSpan, -180.0),
             std::min(latitude + latitudeSpan, 90.0), std::min(longitude + longitudeSpan, 180.0) };
}

TileRange rangeOf(const GeoBox &box, int zoom)
{
    return { zoom, column(box.west, zoom), column(box.east, zoom), row(box.north, zoom), row(box.south, zoom) };
}

QVector<TileId> SavePlan::tiles() const
{
    QVector<TileId> list;
    list.reserve(int(count));
    for (const TileRange &range : ranges)
        for (int x = range.xMin; x <= range.xMax; ++x)
            for (int y = range.yMin; y <= range.yMax; ++y)
                list.append({ range.z, x, y });
    return list;
}

SavePlan planSave(const GeoBox &box, int requestedZoom)
{
    SavePlan plan;
    plan.requestedZoom = requestedZoom;
    const int deepest = std::clamp(requestedZoom, 0, MaxSaveZoom);
    for (int zoom = 0; zoom <= deepest; ++zoom) {
        const TileRange range = rangeOf(box, zoom);
        if (plan.count + range.count() > MaxSaveTiles)
            break;
        plan.ranges.append(range);
        plan.count += range.count();
        plan.maxZoom = zoom;
    }
    return plan;
}

} // namespace tiles
