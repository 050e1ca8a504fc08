#pragma once

#include <QVector>
#include <QtGlobal>

// Map tiles in the slippy-map scheme: zoom z has 2^z by 2^z square tiles of
// the Web Mercator projection, x counting eastwards from 180° W and y
// southwards from 85.0511° N.
namespace tiles {

// The deepest zoom the map page shows.
inline constexpr int MaxZoom = 19;
// What one save may ask of a public tile source (its usage policy).
inline constexpr int MaxSaveZoom = 16;
inline constexpr int MaxSaveTiles = 5000;
// A rough average of a rendered street-map tile, for size estimates.
inline constexpr qint64 EstimatedTileBytes = 20 * 1024;

struct TileId {
    int z = 0;
    int x = 0;
    int y = 0;
};

// True when z is 0..MaxZoom and x and y lie within that zoom's grid.
bool isValid(const TileId &tile);

// The tile column of a longitude and the tile row of a latitude at a zoom,
// clamped to the grid (latitudes beyond the projection's edge included).
int column(double longitude, int zoom);
int row(double latitude, int zoom);

struct GeoBox {
    double south = 0;
    double west = 0;
    double north = 0;
    double east = 0;
};

// The box holding a circle of radiusKm around a point on a spherical earth,
// clamped to the valid latitudes and longitudes.
GeoBox boxAround(double latitude, double longitude, double radiusKm);

struct TileRange {
    int z = 0;
    int xMin = 0;
    int xMax = 0;
    int yMin = 0;
    int yMax = 0;
    qint64 count() const { return qint64(xMax - xMin + 1) * (yMax - yMin + 1); }
};

// The tiles covering a box at one zoom.
TileRange rangeOf(const GeoBox &box, int zoom);

// The tiles one save fetches: every zoom from 0 up to the requested one, as
// far as the limits allow.
struct SavePlan {
    QVector<TileRange> ranges;
    int requestedZoom = 0;
    int maxZoom = 0;
    qint64 count = 0;

    qint64 estimatedBytes() const { return count * EstimatedTileBytes; }
    // True when the limits left out zoom levels that were asked for.
    bool cut() const { return maxZoom < requestedZoom; }
    QVector<TileId> tiles() const;
};
SavePlan planSave(const GeoBox &box, int requestedZoom);

} // namespace tiles
