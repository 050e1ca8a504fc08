// The map of the flight and device windows.  The program drives it through
// four global functions: plotKML, plotGroudTrack (spelled so by the program),
// setPlacemark and flyTo.  Bad arguments throw; the program's calls catch
// and log them, and whatever the map showed stays.
'use strict';

var kipoMap = L.map('map', { maxZoom: 19, worldCopyJump: true }).setView([20, 0], 2);

// Tiles come through the program's own server, which keeps them for use
// without network; a tile it cannot get leaves the plain background, on
// which the tracks still show with the scale for distances.
L.tileLayer('/tiles/{z}/{x}/{y}.png', {
    maxZoom: 19,
    attribution: '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors'
}).addTo(kipoMap);
L.control.scale({ metric: true, imperial: true }).addTo(kipoMap);

// The position marker stays above every track.
kipoMap.createPane('placemark').style.zIndex = 650;

var flightLayer = L.layerGroup().addTo(kipoMap);
var groundTrackLayer = L.layerGroup().addTo(kipoMap);
var placemark = null;
var scriptErrors = [];

window.addEventListener('error', function (event) {
    scriptErrors.push(String(event.message));
});

var defaultTrackStyle = { colour: '#ff0000', opacity: 0.78, weight: 4 };

function isPosition(latitude, longitude) {
    return isFinite(latitude) && isFinite(longitude) && Math.abs(latitude) <= 90 && Math.abs(longitude) <= 180;
}

// Elements by local name, whatever KML namespace the document declares.
function elementsNamed(node, name) {
    return Array.prototype.slice.call(node.getElementsByTagNameNS('*', name));
}

function textOf(node, name) {
    var found = elementsNamed(node, name);
    return found.length > 0 ? found[0].textContent.trim() : '';
}

// KML writes colours as aabbggrr.
function lineStyleOf(placemarkNode) {
    var style = { colour: defaultTrackStyle.colour, opacity: defaultTrackStyle.opacity,
                  weight: defaultTrackStyle.weight };
    var lineStyle = elementsNamed(placemarkNode, 'LineStyle')[0];
    if (!lineStyle)
        return style;
    var colour = textOf(lineStyle, 'color');
    if (/^[0-9a-fA-F]{8}$/.test(colour)) {
        style.colour = ('#' + colour.substr(6, 2) + colour.substr(4, 2) + colour.substr(2, 2)).toLowerCase();
        style.opacity = parseInt(colour.substr(0, 2), 16) / 255;
    }
    var width = parseFloat(textOf(lineStyle, 'width'));
    if (width > 0)
        style.weight = width;
    return style;
}

// "lon,lat[,alt] lon,lat[,alt] ..." to Leaflet's [lat, lon, alt] points.
function parseCoordinates(text) {
    var points = [];
    text.split(/\s+/).forEach(function (tuple) {
        if (tuple === '')
            return;
        var values = tuple.split(',').map(Number);
        if (values.length < 2 || !isPosition(values[1], values[0]))
            return;
        points.push(values.length > 2 && isFinite(values[2]) ? [values[1], values[0], values[2]]
                                                              : [values[1], values[0]]);
    });
    return points;
}

// Draws every line of a KML document (the flight window's one-line document
// or an exported file) in its own colour, replacing the previous flight.
function plotKML(kml) {
    var xml = new DOMParser().parseFromString(String(kml), 'application/xml');
    if (xml.getElementsByTagName('parsererror').length > 0 || !xml.documentElement
        || xml.documentElement.localName !== 'kml')
        throw new Error('plotKML: not a KML document');
    var tracks = [];
    elementsNamed(xml, 'Placemark').forEach(function (placemarkNode) {
        var style = lineStyleOf(placemarkNode);
        var name = textOf(placemarkNode, 'name');
        elementsNamed(placemarkNode, 'LineString').forEach(function (line) {
            var points = parseCoordinates(textOf(line, 'coordinates'));
            if (points.length > 0)
                tracks.push({ name: name, points: points, style: style });
        });
    });
    flightLayer.clearLayers();
    tracks.forEach(function (track) {
        var line = L.polyline(track.points, { color: track.style.colour, opacity: track.style.opacity,
                                              weight: track.style.weight });
        if (track.name)
            line.bindTooltip(track.name, { sticky: true });
        line.addTo(flightLayer);
    });
}

// The track on the ground: a flat array longitude, latitude, longitude, ...
function plotGroudTrack(coordinates) {
    if (!Array.isArray(coordinates))
        throw new TypeError('plotGroudTrack: expected an array of longitude, latitude pairs');
    var points = [];
    for (var i = 0; i + 1 < coordinates.length; i += 2) {
        var longitude = Number(coordinates[i]);
        var latitude = Number(coordinates[i + 1]);
        if (isPosition(latitude, longitude))
            points.push([latitude, longitude]);
    }
    groundTrackLayer.clearLayers();
    if (points.length > 0)
        L.polyline(points, { color: '#e6b800', opacity: 0.9, weight: 3, dashArray: '6 6' })
            .bindTooltip('Ground track', { sticky: true })
            .addTo(groundTrackLayer);
}

// The single current-position marker.
function setPlacemark(latitude, longitude) {
    var lat = Number(latitude);
    var lon = Number(longitude);
    if (!isPosition(lat, lon))
        throw new RangeError('setPlacemark: not a position: ' + latitude + ', ' + longitude);
    if (placemark) {
        placemark.setLatLng([lat, lon]);
        return;
    }
    placemark = L.circleMarker([lat, lon], { pane: 'placemark', radius: 8, color: '#ffffff', weight: 2,
                                             fillColor: '#1565c0', fillOpacity: 1 }).addTo(kipoMap);
}

function boundsOfLayers(layerGroups) {
    var bounds = L.latLngBounds([]);
    layerGroups.forEach(function (group) {
        group.eachLayer(function (layer) {
            bounds.extend(layer.getBounds());
        });
    });
    return bounds;
}

// Frames the track and its ground track, or the marker when there is no track.
function flyTo() {
    var bounds = boundsOfLayers([flightLayer, groundTrackLayer]);
    if (bounds.isValid())
        kipoMap.fitBounds(bounds, { padding: [30, 30], maxZoom: 18, animate: false });
    else if (placemark)
        kipoMap.setView(placemark.getLatLng(), 16, { animate: false });
}

// What the map holds, for diagnosis from the page's console or a test.
function mapState() {
    function box(bounds) {
        return bounds.isValid() ? { south: bounds.getSouth(), west: bounds.getWest(),
                                    north: bounds.getNorth(), east: bounds.getEast() } : null;
    }
    function lines(group) {
        return group.getLayers().map(function (line) {
            return { points: line.getLatLngs().length, colour: line.options.color,
                     opacity: line.options.opacity, weight: line.options.weight, bounds: box(line.getBounds()) };
        });
    }
    var position = placemark ? placemark.getLatLng() : null;
    return {
        tracks: lines(flightLayer),
        groundTracks: lines(groundTrackLayer),
        placemark: position ? [position.lat, position.lng] : null,
        view: box(kipoMap.getBounds()),
        zoom: kipoMap.getZoom(),
        errors: scriptErrors.slice()
    };
}
