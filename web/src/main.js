// The atlas in a browser: the map the atlas's map server (QGIS Server at ./ows) draws, the
// layers as the atlas's panels group them, a scale bar, the pointer's coordinates, what lies
// under a click (GetFeatureInfo) and a search of streets and addresses (WFS GetFeature). Read
// only: the page never writes.
import Map from 'ol/Map.js';
import View from 'ol/View.js';
import ImageLayer from 'ol/layer/Image.js';
import VectorLayer from 'ol/layer/Vector.js';
import ImageWMS from 'ol/source/ImageWMS.js';
import VectorSource from 'ol/source/Vector.js';
import WFS from 'ol/format/WFS.js';
import GML3 from 'ol/format/GML3.js';
import Projection from 'ol/proj/Projection.js';
import ScaleLine from 'ol/control/ScaleLine.js';
import MousePosition from 'ol/control/MousePosition.js';
import {defaults as defaultControls} from 'ol/control/defaults.js';
import {Stroke, Style, Circle, Fill} from 'ol/style.js';
import {getCenter} from 'ol/extent.js';

const OWS = 'ows';
const SEARCH_PREFIX = 'vandrel-search-';
const $ = (id) => document.getElementById(id);

function text(element, name) {
  const child = Array.from(element.children).find((c) => c.localName === name);
  return child ? child.textContent.trim() : '';
}

function children(element, name) {
  return Array.from(element.children).filter((c) => c.localName === name);
}

// The project as the server tells it (GetProjectSettings): its title, coordinate system and
// extent, its groups and layers with their titles, switches and search keywords, and the order
// the layers are drawn in (the first at the bottom).
function readProject(xml) {
  const doc = new DOMParser().parseFromString(xml, 'text/xml');
  if (doc.querySelector('ServiceExceptionReport')) throw new Error(doc.documentElement.textContent.trim());
  const capability = Array.from(doc.documentElement.children).find((c) => c.localName === 'Capability');
  const root = children(capability, 'Layer')[0];
  const crsList = children(root, 'CRS').map((c) => c.textContent.trim());
  const crs = crsList.find((c) => c.startsWith('EPSG:') && c !== 'EPSG:4326' && c !== 'EPSG:3857')
    || 'EPSG:3857';
  const box = children(root, 'BoundingBox').find((b) => b.getAttribute('CRS') === crs);
  const extent = ['minx', 'miny', 'maxx', 'maxy'].map((k) => Number(box.getAttribute(k)));
  const layer = (element) => ({
    name: text(element, 'Name'),
    title: text(element, 'Title') || text(element, 'Name'),
    visible: element.getAttribute('visible') !== '0',
    search: Array.from(element.getElementsByTagNameNS('*', 'Keyword'))
      .map((k) => k.textContent.trim())
      .filter((k) => k.startsWith(SEARCH_PREFIX))
      .map((k) => k.slice(SEARCH_PREFIX.length))[0] || '',
  });
  const groups = children(root, 'Layer').map((g) => {
    const sub = children(g, 'Layer');
    return sub.length ? {...layer(g), layers: sub.map(layer)} : {...layer(g), layers: [layer(g)], single: true};
  });
  const order = Array.from(doc.getElementsByTagNameNS('*', 'LayerDrawingOrder'))
    .map((o) => o.textContent.split(',').map((n) => n.trim()))[0] || [];
  const service = Array.from(doc.documentElement.children).find((c) => c.localName === 'Service');
  return {title: text(service, 'Title'), crs, extent, groups, order};
}

function layerSwitches(project, changed) {
  const box = $('layers');
  box.textContent = '';
  for (const group of project.groups) {
    const div = document.createElement('div');
    div.className = 'group';
    const head = document.createElement('label');
    const groupCheck = document.createElement('input');
    groupCheck.type = 'checkbox';
    groupCheck.checked = group.visible;
    head.append(groupCheck, ' ', group.title);
    div.append(head);
    const list = document.createElement('ul');
    for (const layer of group.layers) {
      const item = document.createElement('li');
      const label = document.createElement('label');
      const check = document.createElement('input');
      check.type = 'checkbox';
      check.checked = layer.visible;
      check.dataset.layer = layer.name;
      check.addEventListener('change', () => {
        layer.visible = check.checked;
        changed();
      });
      label.append(check, ' ', layer.title);
      item.append(label);
      list.append(item);
    }
    groupCheck.addEventListener('change', () => {
      group.visible = groupCheck.checked;
      changed();
    });
    if (!group.single) div.append(list);
    box.append(div);
  }
}

// The layers switched on, with their groups, in drawing order (the first at the bottom).
function shownLayers(project) {
  const on = new Set();
  for (const group of project.groups)
    if (group.visible) for (const layer of group.layers) if (layer.visible) on.add(layer.name);
  const ordered = project.order.filter((name) => on.has(name));
  for (const name of on) if (!ordered.includes(name)) ordered.push(name);
  return ordered;
}

function titleOf(project, name) {
  for (const group of project.groups)
    for (const layer of group.layers) if (layer.name === name) return layer.title;
  return name;
}

function showInfo(project, xml) {
  const doc = new DOMParser().parseFromString(xml, 'text/xml');
  const body = $('info-body');
  body.textContent = '';
  let count = 0;
  for (const layer of Array.from(doc.getElementsByTagName('Layer'))) {
    for (const feature of Array.from(layer.getElementsByTagName('Feature'))) {
      const heading = document.createElement('h3');
      heading.textContent = titleOf(project, layer.getAttribute('name'));
      const table = document.createElement('table');
      for (const attribute of Array.from(feature.getElementsByTagName('Attribute'))) {
        const row = table.insertRow();
        row.insertCell().textContent = attribute.getAttribute('name');
        row.insertCell().textContent = attribute.getAttribute('value');
      }
      body.append(heading, table);
      ++count;
    }
  }
  if (count === 0) body.textContent = 'Тут нічого немає.';
  $('info').hidden = false;
}

// Typed text inside a regular expression of the map server's expressions, in quotes.
function escaped(typed) {
  return typed.replace(/[.*+?^${}()|[\]\\]/g, '\\$&').replace(/'/g, "''");
}

// The streets whose name holds the typed words, and with a house number typed after them the
// addresses of that street whose number starts with it; case does not matter.
async function search(project, projection, query) {
  const words = query.trim().split(/\s+/);
  const number = words.length > 1 && /^\d/.test(words[words.length - 1]) ? words.pop() : '';
  const street = words.join(' ');
  if (!street) return [];
  const results = [];
  const streets = new globalThis.Map(); // a street named in several layers is one result
  for (const group of project.groups) {
    for (const layer of group.layers) {
      if (!layer.search || (layer.search === 'address' && !number)) continue;
      let filter = `regexp_match("STREET", '(?i)${escaped(street)}') > 0`;
      if (layer.search === 'address')
        filter += ` AND regexp_match("NUMBER", '(?i)^${escaped(number)}') > 0`;
      // GML, which the server writes in the atlas's coordinates (its GeoJSON is in degrees).
      const url = `${OWS}?SERVICE=WFS&VERSION=1.1.0&REQUEST=GetFeature&TYPENAME=${encodeURIComponent(layer.name)}`
        + `&SRSNAME=${project.crs}&MAXFEATURES=200&EXP_FILTER=${encodeURIComponent(filter)}`;
      const response = await fetch(url);
      if (!response.ok) continue;
      const features = new WFS({gmlFormat: new GML3()}).readFeatures(await response.text(),
        {dataProjection: projection, featureProjection: projection});
      // A street is one result however many segments it has.
      const byName = layer.search === 'street' ? streets : new globalThis.Map();
      for (const feature of features) {
        const p = feature.getProperties();
        const name = layer.search === 'address'
          ? `${p.TYPE || ''} ${p.STREET || ''}, ${p.NUMBER || ''}`.trim()
          : `${p.TYPE || ''} ${p.STREET || ''}`.trim();
        if (!byName.has(name)) byName.set(name, {name, layer: layer.title, features: []});
        byName.get(name).features.push(feature);
      }
      if (layer.search === 'address') results.push(...byName.values());
    }
  }
  return [...streets.values(), ...results];
}

async function start() {
  const response = await fetch(`${OWS}?SERVICE=WMS&VERSION=1.3.0&REQUEST=GetProjectSettings`);
  if (!response.ok) throw new Error(`сервер карт відповів ${response.status}`);
  const project = readProject(await response.text());
  document.title = project.title;
  $('title').textContent = project.title;
  const projection = new Projection({code: project.crs, units: 'm', extent: project.extent});
  const source = new ImageWMS({
    url: OWS,
    params: {LAYERS: shownLayers(project).join(','), FORMAT: 'image/png', VERSION: '1.3.0'},
    projection,
    ratio: 1,
    serverType: 'qgis',
  });
  source.on('imageloadstart', () => { document.body.dataset.state = 'loading'; });
  source.on('imageloadend', () => { document.body.dataset.state = 'ready'; });
  source.on('imageloaderror', () => {
    document.body.dataset.state = 'error';
    $('status').textContent = 'Сервер карт не намалював карту.';
  });
  const found = new VectorSource();
  const map = new Map({
    target: 'map',
    controls: defaultControls().extend([
      new ScaleLine({units: 'metric'}),
      new MousePosition({
        coordinateFormat: (c) => `X: ${c[0].toFixed(2)}   Y: ${c[1].toFixed(2)}`,
        projection,
        target: $('status'),
        placeholder: ' ',
      }),
    ]),
    layers: [
      new ImageLayer({source}),
      new VectorLayer({
        source: found,
        style: new Style({
          stroke: new Stroke({color: 'rgba(230, 0, 0, 0.8)', width: 5}),
          image: new Circle({radius: 9, stroke: new Stroke({color: '#e60000', width: 3}),
            fill: new Fill({color: 'rgba(230, 0, 0, 0.15)'})}),
        }),
      }),
    ],
    view: new View({projection}),
  });
  map.getView().fit(project.extent, {size: map.getSize()});
  $('status').textContent = ' ';
  layerSwitches(project, () => {
    source.updateParams({LAYERS: shownLayers(project).join(',')});
  });

  map.on('singleclick', async (event) => {
    const layers = shownLayers(project);
    if (!layers.length) return;
    const url = source.getFeatureInfoUrl(event.coordinate, map.getView().getResolution(), projection, {
      INFO_FORMAT: 'text/xml', QUERY_LAYERS: layers.join(','), FEATURE_COUNT: 20,
      FI_POINT_TOLERANCE: 10, FI_LINE_TOLERANCE: 6, FI_POLYGON_TOLERANCE: 2,
    });
    const reply = await fetch(url);
    showInfo(project, await reply.text());
  });
  $('info-close').addEventListener('click', () => { $('info').hidden = true; });

  const list = $('search-results');
  const show = (result, item) => {
    found.clear();
    found.addFeatures(result.features);
    const extent = found.getExtent();
    const view = map.getView();
    if (extent[2] - extent[0] < 50 && extent[3] - extent[1] < 50)
      view.animate({center: getCenter(extent), resolution: Math.min(view.getResolution(), 0.4), duration: 0});
    else
      view.fit(extent, {padding: [40, 40, 40, 40]});
    for (const li of list.children) li.classList.toggle('current', li === item);
  };
  $('search').addEventListener('submit', async (event) => {
    event.preventDefault();
    list.textContent = '';
    const results = await search(project, projection, $('search-text').value);
    if (!results.length) {
      const none = document.createElement('li');
      none.className = 'note';
      none.textContent = 'Нічого не знайдено.';
      list.append(none);
      return;
    }
    for (const result of results) {
      const item = document.createElement('li');
      item.append(result.name, document.createElement('br'));
      const small = document.createElement('small');
      small.textContent = result.layer;
      item.append(small);
      item.addEventListener('click', () => show(result, item));
      list.append(item);
    }
    show(results[0], list.children[0]);
  });
  window.vandrelMap = map; // for the page's tests
}

start().catch((error) => {
  document.body.dataset.state = 'error';
  $('status').textContent = `Карту не відкрито: ${error.message}`;
});
