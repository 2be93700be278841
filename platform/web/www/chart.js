// Graphs and strip charts on canvas: plots, strip traces drawn from min/max columns, axes, cursors, zoom (Ctrl + drag), pan (Ctrl + Shift + drag).
const A = { BG: 1081, GRID: 1086, XGRID: 1087, XLABELS: 1088, XDIV: 1090, XPREC: 1091, YGRID: 1094, YLABELS: 1096,
  YDIV: 1098, YPREC: 1099, PPS: 1100, REFRESH: 1147, TRACE_COLOR: 1130, TRACE_VISIBLE: 1131, PLOT_STYLE: 1132,
  POINT_STYLE: 1133, LINE_STYLE: 1134 };
const STRIP = 310, AUTOSCALE = 1, TRANSPARENT = 0x1000000;
const M = { left: 48, right: 14, top: 8, bottom: 18 };
// The margins of a graph that shows no axis labels.
const BARE = { left: 2, right: 2, top: 2, bottom: 2 };
const hex = (c) => '#' + ((c >>> 0) & 0xffffff).toString(16).padStart(6, '0');
const attr = (o, n, d) => (o.attributes && o.attributes[n] !== undefined ? o.attributes[n] : d);

// Point styles as distinct shapes: 1 solid circle, 2 solid square, 3 small solid square, 24 none.
function mark(c, x, y, style) {
  switch (style) {
    case 1: c.beginPath(); c.arc(x, y, 3.5, 0, 2 * Math.PI); c.fill(); break;
    case 2: c.fillRect(x - 3.5, y - 3.5, 7, 7); break;
    case 3: c.fillRect(x - 1.5, y - 1.5, 3, 3); break;
    case 24: break;
    default: c.fillRect(x - 1.5, y - 1.5, 3, 3);
  }
}
// Line styles: 2 dotted, 3 dashed, anything else solid.
const dashes = (style) => (style === 2 ? [1, 3] : style === 3 ? [6, 4] : []);

export class Chart {
  constructor(el, panel, ctrl, send) {
    this.el = el;
    this.panel = panel;
    this.send = send;
    this.canvas = document.createElement('canvas');
    el.replaceChildren(this.canvas);
    this.plots = [];
    this.strip = null;  // {bucket, traces: [{first, mins, maxs}], end}
    this.scheduled = false;
    this.drag = null;
    this.setCtrl(ctrl);
    if (ctrl.plots) this.plots = ctrl.plots.slice();
    if (ctrl.strip_data) this.appendStrip(ctrl.strip_data);
    this.mouse();
    new ResizeObserver(() => this.redraw()).observe(el);
    this.redraw();
  }

  setCtrl(ctrl) {
    this.ctrl = ctrl;
    this.id = ctrl.id;
    this.isStrip = ctrl.style === STRIP;
    this.graph = ctrl.graph;
    this.redraw();
  }

  setGraph(g) { this.graph = g; this.redraw(); }

  // A plot already shown comes again when one of its attributes changes: it replaces the old one in place.
  addPlot(p) {
    const at = this.plots.findIndex((q) => q.handle === p.handle);
    if (at >= 0) this.plots[at] = p; else this.plots.push(p);
    if (this.autoRefresh()) this.redraw();
  }

  deletePlots(handle, immediate) {
    this.plots = handle === -1 ? [] : this.plots.filter((p) => p.handle !== handle);
    if (immediate || this.autoRefresh()) this.redraw();
  }

  refresh() { this.redraw(true); }

  autoRefresh() { return attr(this.ctrl, A.REFRESH, 1) !== 0; }

  // Strip blocks come as min/max per column of `bucket` scans; a column cut between two blocks is merged.
  appendStrip(b) {
    if (!this.strip || this.strip.bucket !== b.bucket) {
      this.strip = { bucket: b.bucket, traces: [], end: 0 };
      this.layer = null;
    }
    const s = this.strip;
    b.traces.forEach((flat, t) => {
      if (!flat.length) return;
      const first = b.firsts ? b.firsts[t] : b.first_column;
      const tr = s.traces[t] || (s.traces[t] = { first, mins: [], maxs: [] });
      for (let k = 0; k < flat.length / 2; k++) {
        const col = first + k;
        const i = col - tr.first;
        if (i < 0) continue;
        if (i < tr.mins.length) {
          tr.mins[i] = Math.min(tr.mins[i], flat[2 * k]);
          tr.maxs[i] = Math.max(tr.maxs[i], flat[2 * k + 1]);
        } else {
          while (tr.mins.length < i) { tr.mins.push(NaN); tr.maxs.push(NaN); }
          tr.mins.push(flat[2 * k]);
          tr.maxs.push(flat[2 * k + 1]);
        }
      }
    });
    s.end = Math.max(s.end, b.end_scan ?? 0);
    // Keep one screen (and a column) of history.
    const pps = this.graph?.points_per_screen ?? attr(this.ctrl, A.PPS, 100);
    const firstKept = Math.floor(Math.max(0, s.end - pps) / s.bucket) - 1;
    for (const tr of s.traces) {
      const drop = firstKept - tr.first;
      if (drop > 256 || drop > tr.mins.length / 2) {
        tr.mins.splice(0, drop);
        tr.maxs.splice(0, drop);
        tr.first += drop;
      }
    }
    this.el.dataset.scans = s.end;
    this.redraw();
  }

  clearStrip() { this.strip = null; this.layer = null; this.el.dataset.scans = 0; this.redraw(); }

  redraw(force) {
    if (!force && !this.autoRefresh() && !this.isStrip) return;
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => { this.scheduled = false; this.draw(); });
  }

  // The ranges shown: the program's, or the data's own where an axis autoscales.
  ranges() {
    const g = this.graph || { x_axis: { mode: 1, min: 0, max: 10 }, y_axis: { mode: 1, min: 0, max: 10 } };
    let [x0, x1] = [g.x_axis.min, g.x_axis.max];
    let [y0, y1] = [g.y_axis.min, g.y_axis.max];
    let lo = Infinity, hi = -Infinity, xl = Infinity, xh = -Infinity;
    if (this.isStrip) {
      const pps = g.points_per_screen ?? 100;
      if (g.x_axis.mode === AUTOSCALE) { x0 = Math.max(0, (this.strip?.end ?? 0) - pps); x1 = x0 + pps - 1; }
      if (g.y_axis.mode === AUTOSCALE && this.strip) {
        this.strip.traces.forEach((tr, t) => {
          if (g.traces?.[t] && !g.traces[t].visible) return;
          const from = Math.floor(x0 / this.strip.bucket) - tr.first;
          for (let i = Math.max(0, from); i < tr.mins.length; i++) {
            if (tr.mins[i] < lo) lo = tr.mins[i];
            if (tr.maxs[i] > hi) hi = tr.maxs[i];
          }
        });
      }
    } else {
      for (const p of this.plots) {
        if (attr(p, A.TRACE_VISIBLE, 1) === 0) continue;
        for (const v of p.x) { if (v < xl) xl = v; if (v > xh) xh = v; }
        for (const v of p.y) { if (v < lo) lo = v; if (v > hi) hi = v; }
      }
      if (g.x_axis.mode === AUTOSCALE && xl <= xh) { x0 = xl; x1 = xh > xl ? xh : xl + 1; }
    }
    if (g.y_axis.mode === AUTOSCALE && lo <= hi) { y0 = lo; y1 = hi > lo ? hi : lo + 1; }
    if (!(x1 > x0)) x1 = x0 + 1;
    if (!(y1 > y0)) y1 = y0 + 1;
    return { x0, x1, y0, y1 };
  }

  draw() {
    const dpr = window.devicePixelRatio || 1;
    const w = this.el.clientWidth, h = this.el.clientHeight;
    if (!w || !h) return;
    if (this.canvas.width !== Math.round(w * dpr) || this.canvas.height !== Math.round(h * dpr)) {
      this.canvas.width = Math.round(w * dpr);
      this.canvas.height = Math.round(h * dpr);
    }
    const c = this.canvas.getContext('2d');
    c.setTransform(dpr, 0, 0, dpr, 0, 0);
    c.fillStyle = '#d4d0c8';
    c.fillRect(0, 0, w, h);
    // A graph with no axis labels at all (a chart's key) gives their room to its plot area.
    const m = attr(this.ctrl, A.YLABELS, 1) || attr(this.ctrl, A.XLABELS, 1) ? M : BARE;
    const area = { x: m.left, y: m.top, w: Math.max(1, w - m.left - m.right), h: Math.max(1, h - m.top - m.bottom) };
    this.area = area;
    const r = (this.view = this.ranges());
    this.el.dataset.range = [r.x0, r.x1, r.y0, r.y1].join(',');
    const X = (v) => area.x + ((v - r.x0) / (r.x1 - r.x0)) * area.w;
    const Y = (v) => area.y + area.h - ((v - r.y0) / (r.y1 - r.y0)) * area.h;
    c.fillStyle = hex(attr(this.ctrl, A.BG, 0));
    c.fillRect(area.x, area.y, area.w, area.h);
    // What the plot area was drawn with, for whatever reads the page (the browser tests do).
    this.el.dataset.background = c.fillStyle;
    this.el.dataset.plots = this.plots.length;
    this.axes(c, area, r);
    c.save();
    c.beginPath();
    c.rect(area.x, area.y, area.w, area.h);
    c.clip();
    if (this.isStrip) this.drawStrip(c, r, area);
    else for (const p of this.plots) this.drawPlot(c, p, X, Y, area);
    this.drawCursors(c, X, Y, area);
    // Over a strip chart the zoom rectangle goes on a sheet above its traces.
    const z = this.isStrip ? this.zoomSheet(w, h, dpr, area) : c;
    if (z && this.drag?.rect) {
      const d = this.drag;
      z.strokeStyle = '#fff';
      z.setLineDash([4, 3]);
      z.strokeRect(Math.min(d.x0, d.x), Math.min(d.y0, d.y), Math.abs(d.x - d.x0), Math.abs(d.y - d.y0));
      z.setLineDash([]);
    }
    if (z && z !== c) z.restore();
    c.restore();
  }

  axes(c, area, r) {
    const grid = hex(attr(this.ctrl, A.GRID, 0x808080));
    const xdiv = attr(this.ctrl, A.XDIV, 10) || 10, ydiv = attr(this.ctrl, A.YDIV, 5) || 5;
    c.font = '11px sans-serif';
    c.fillStyle = '#000';
    c.strokeStyle = grid;
    c.lineWidth = 1;
    const xText = (i) => (r.x0 + ((r.x1 - r.x0) * i) / xdiv).toFixed(attr(this.ctrl, A.XPREC, Math.abs(r.x1 - r.x0) >= 10 ? 0 : 2));
    // Every second division is labelled, or fewer on a narrow graph: the numbers never run together.
    const widest = Math.max(c.measureText(xText(0)).width, c.measureText(xText(xdiv)).width);
    let step = 2;
    while (step < xdiv && (area.w * step) / xdiv < widest + 6) step += 2;
    for (let i = 0; i <= xdiv; i++) {
      const px = Math.round(area.x + (area.w * i) / xdiv) + 0.5;
      if (attr(this.ctrl, A.XGRID, 1)) { c.beginPath(); c.moveTo(px, area.y); c.lineTo(px, area.y + area.h); c.stroke(); }
      if (attr(this.ctrl, A.XLABELS, 1) && i % step === 0) {
        c.textAlign = 'center';
        c.fillText(xText(i), px, area.y + area.h + 12);
      }
    }
    for (let i = 0; i <= ydiv; i++) {
      const py = Math.round(area.y + (area.h * i) / ydiv) + 0.5;
      if (attr(this.ctrl, A.YGRID, 1)) { c.beginPath(); c.moveTo(area.x, py); c.lineTo(area.x + area.w, py); c.stroke(); }
      if (attr(this.ctrl, A.YLABELS, 1)) {
        const v = r.y1 - ((r.y1 - r.y0) * i) / ydiv;
        c.textAlign = 'right';
        c.fillText(v.toFixed(attr(this.ctrl, A.YPREC, 2)), area.x - 3, py + 3);
      }
    }
  }

  // Strip traces live in two tiles of the plot area's size, laid over the canvas, that scroll by
  // being moved (never copied): a frame draws only the columns that arrived since, into the tile
  // that holds them; new ranges, sizes or trace colours redraw both whole.
  stripTiles(area, dpr) {
    if (!this.box) {
      if (getComputedStyle(this.el).position === 'static') this.el.style.position = 'relative';
      this.box = document.createElement('div');
      this.box.style.cssText = 'position:absolute;overflow:hidden;pointer-events:none';
      this.tiles = [0, 1].map(() => {
        const cv = document.createElement('canvas');
        cv.style.cssText = 'position:absolute;left:0;top:0';
        this.box.append(cv);
        return { cv, start: 0 };
      });
      this.el.append(this.box);
    }
    const bs = this.box.style;
    bs.left = area.x + 'px'; bs.top = area.y + 'px'; bs.width = area.w + 'px'; bs.height = area.h + 'px';
    const width = Math.round(area.w * dpr), height = Math.round(area.h * dpr);
    for (const t of this.tiles) {
      if (t.cv.width !== width || t.cv.height !== height) {
        t.cv.width = width; t.cv.height = height;
        t.cv.style.width = area.w + 'px'; t.cv.style.height = area.h + 'px';
        this.layer = null;
      }
    }
    return this.tiles;
  }

  zoomSheet(w, h, dpr, area) {
    if (!this.drag?.rect) {
      if (this.sheet) this.sheet.getContext('2d').clearRect(0, 0, this.sheet.width, this.sheet.height);
      return null;
    }
    if (!this.sheet) {
      this.sheet = document.createElement('canvas');
      this.sheet.style.cssText = 'position:absolute;left:0;top:0;pointer-events:none';
      this.el.append(this.sheet);
    }
    const sh = this.sheet;
    if (sh.width !== Math.round(w * dpr) || sh.height !== Math.round(h * dpr)) {
      sh.width = Math.round(w * dpr); sh.height = Math.round(h * dpr);
      sh.style.width = w + 'px'; sh.style.height = h + 'px';
    }
    const z = sh.getContext('2d');
    z.setTransform(dpr, 0, 0, dpr, 0, 0);
    z.clearRect(0, 0, w, h);
    z.save();
    z.beginPath();
    z.rect(area.x, area.y, area.w, area.h);
    z.clip();
    return z;
  }

  drawStrip(c, r, area) {
    const dpr = window.devicePixelRatio || 1;
    const tiles = this.stripTiles(area, dpr);
    if (!this.strip) {
      if (this.layer !== undefined) for (const t of tiles) t.cv.getContext('2d').clearRect(0, 0, t.cv.width, t.cv.height);
      this.layer = undefined;
      return;
    }
    const b = this.strip.bucket;
    const spp = (r.x1 - r.x0) / area.w;  // scans per pixel
    const origin = Math.floor(r.x0 / spp);  // the left edge, in whole pixels of an absolute scale
    const colors = this.graph?.traces || [];
    const key = [area.w, area.h, dpr, r.y0, r.y1, spp, b, JSON.stringify(colors)].join('|');
    let L = this.layer;
    const clear = (t) => t.cv.getContext('2d').clearRect(0, 0, t.cv.width, t.cv.height);
    if (!L || L.key !== key || origin < tiles[0].start || origin >= tiles[1].start + area.w) {
      tiles[0].start = origin;
      tiles[1].start = origin + area.w;
      tiles.forEach(clear);
      L = this.layer = { key, drawn: [] };
    } else if (origin >= tiles[0].start + area.w) {
      // The left tile has scrolled out: it comes back on the right, empty.
      const gone = tiles.shift();
      gone.start = tiles[0].start + area.w;
      clear(gone);
      tiles.push(gone);
    }
    for (const t of tiles) t.cv.style.transform = `translateX(${t.start - origin}px)`;
    const px = (col) => Math.floor((col * b) / spp);
    const py = (v) => area.h - ((v - r.y0) / (r.y1 - r.y0)) * area.h;
    const from = this.strip.traces.map((tr, t) =>
      // From the column drawn last (it may have grown since) so the line joins up.
      Math.max(tr.first, Math.floor(r.x0 / b) - 1, L.drawn[t] !== undefined ? L.drawn[t] - 1 : -Infinity));
    for (const tile of tiles) {
      const lc = tile.cv.getContext('2d');
      lc.setTransform(dpr, 0, 0, dpr, 0, 0);
      lc.lineWidth = 1;
      // Only the columns that reach into this tile (and one either side, for the joins).
      const lo = Math.floor(((tile.start - 1) * spp) / b) - 1, hi = Math.ceil(((tile.start + area.w + 1) * spp) / b) + 1;
      this.strip.traces.forEach((tr, t) => {
        if (colors[t] && !colors[t].visible) return;
        const last = Math.min(tr.first + tr.mins.length - 1, hi);
        let col = Math.max(from[t], lo);
        if (col > last) return;
        lc.strokeStyle = hex(colors[t]?.color ?? 0xff0000);
        lc.beginPath();
        let started = false;
        for (; col <= last; col++) {
          const i = col - tr.first;
          if (Number.isNaN(tr.mins[i])) { started = false; continue; }
          const x = px(col) - tile.start + 0.5;
          if (!started) { lc.moveTo(x, py(tr.mins[i])); started = true; } else lc.lineTo(x, py(tr.mins[i]));
          if (tr.maxs[i] !== tr.mins[i]) lc.lineTo(x, py(tr.maxs[i]));
        }
        lc.stroke();
      });
    }
    this.strip.traces.forEach((tr, t) => { L.drawn[t] = tr.first + tr.mins.length - 1; });
    void c;
  }

  drawPlot(c, p, X, Y, area) {
    if (attr(p, A.TRACE_VISIBLE, 1) === 0) return;
    const col = hex(attr(p, A.TRACE_COLOR, 0xffffff));
    c.strokeStyle = c.fillStyle = col;
    c.lineWidth = 1;
    c.setLineDash(dashes(attr(p, A.LINE_STYLE, 0)));
    const pointStyle = attr(p, A.POINT_STYLE, -1);
    const fill = p.fill !== undefined && p.fill !== TRANSPARENT && p.fill >= 0 ? hex(p.fill) : null;
    switch (p.kind) {
      case 'xy': {
        const style = attr(p, A.PLOT_STYLE, 0);
        const n = Math.min(p.x.length, p.y.length);
        if (style === 3) {
          // Vertical bars from zero (or the nearer edge of the plot area), 0.6 of one x unit wide.
          const half = Math.max(1, Math.abs(X(1) - X(0)) * 0.3);
          const base = Math.min(area.y + area.h, Math.max(area.y, Y(0)));
          for (let i = 0; i < n; i++) {
            const top = Y(p.y[i]);
            c.fillRect(X(p.x[i]) - half, Math.min(top, base), 2 * half, Math.abs(base - top));
          }
          break;
        }
        if (style === 4) {
          // Horizontal bars from x = 0 to each value, as tall as the spacing of the y values allows.
          const gap = n > 1 ? Math.abs(Y(p.y[1]) - Y(p.y[0])) : 10;
          const half = Math.max(1, gap * 0.45);
          const base = Math.min(area.x + area.w, Math.max(area.x, X(0)));
          for (let i = 0; i < n; i++) {
            const end = X(p.x[i]);
            c.fillRect(Math.min(base, end), Y(p.y[i]) - half, Math.abs(end - base), 2 * half);
          }
          break;
        }
        if (style !== 1) {
          // Dense plots are drawn as one min/max stroke per pixel column.
          c.beginPath();
          let col = null, lo = 0, hi = 0, last = 0;
          const flush = () => { if (col !== null) { c.lineTo(col, Y(lo)); if (hi !== lo) c.lineTo(col, Y(hi)); c.lineTo(col, Y(last)); } };
          for (let i = 0; i < n; i++) {
            const x = Math.round(X(p.x[i]));
            const y = p.y[i];
            if (i === 0) { c.moveTo(x, Y(y)); col = x; lo = hi = last = y; continue; }
            if (x === col) { lo = Math.min(lo, y); hi = Math.max(hi, y); last = y; continue; }
            flush();
            col = x; lo = hi = last = y;
          }
          flush();
          c.stroke();
        }
        c.setLineDash([]);
        if (style === 1 || style === 2) for (let i = 0; i < n; i++) mark(c, X(p.x[i]), Y(p.y[i]), pointStyle);
        break;
      }
      case 'line':
        c.beginPath(); c.moveTo(X(p.x[0]), Y(p.y[0])); c.lineTo(X(p.x[1]), Y(p.y[1])); c.stroke();
        break;
      case 'point':
        mark(c, X(p.x[0]), Y(p.y[0]), pointStyle < 0 ? 2 : pointStyle);
        break;
      case 'rectangle': case 'oval': {
        const x = Math.min(X(p.x[0]), X(p.x[1])), y = Math.min(Y(p.y[0]), Y(p.y[1]));
        const w = Math.abs(X(p.x[1]) - X(p.x[0])), h = Math.abs(Y(p.y[1]) - Y(p.y[0]));
        c.beginPath();
        if (p.kind === 'oval') c.ellipse(x + w / 2, y + h / 2, w / 2, h / 2, 0, 0, 2 * Math.PI);
        else c.rect(x, y, w, h);
        if (fill) { c.fillStyle = fill; c.fill(); }
        c.stroke();
        break;
      }
      case 'text':
        c.font = '11px sans-serif';
        c.textAlign = 'left';
        if (fill) { const m = c.measureText(p.text); c.fillStyle = fill; c.fillRect(X(p.x[0]), Y(p.y[0]) - 11, m.width, 13); c.fillStyle = col; }
        c.fillText(p.text, X(p.x[0]), Y(p.y[0]));
        break;
    }
    c.setLineDash([]);
    void area;
  }

  drawCursors(c, X, Y, area) {
    const cursors = this.graph?.cursors || [];
    const shown = [];
    cursors.forEach((cur, i) => {
      const d = this.drag?.cursor === i + 1 ? this.drag : null;
      const x = d ? d.x : X(cur.x), y = d ? d.y : Y(cur.y);
      shown.push(Math.round(x));
      c.strokeStyle = hex(cur.color);
      c.beginPath();
      c.moveTo(x + 0.5, area.y); c.lineTo(x + 0.5, area.y + area.h);
      c.moveTo(area.x, y + 0.5); c.lineTo(area.x + area.w, y + 0.5);
      c.stroke();
    });
    // Where the cursors are drawn, in canvas pixels (tests grab them there).
    this.el.dataset.cursors = shown.join(',');
  }

  // Pixel position to axis values.
  toData(px, py) {
    const a = this.area, r = this.view;
    return { x: r.x0 + ((px - a.x) / a.w) * (r.x1 - r.x0), y: r.y1 - ((py - a.y) / a.h) * (r.y1 - r.y0) };
  }

  // A click in the plot area brings the first cursor there, as a drag of it would.
  cursorToClick(d) {
    const a = this.area;
    if (!a || !(this.graph?.cursors || []).length) return;
    if (d.x < a.x || d.x > a.x + a.w || d.y < a.y || d.y > a.y + a.h) return;
    const p = this.toData(d.x, d.y);
    this.send({ op: 'cursor', panel: this.panel, ctrl: this.id, cursor: 1, x: p.x, y: p.y });
  }

  mouse() {
    // The window may be shown scaled to fit the browser: back to the chart's own pixels.
    const pos = (e) => {
      const b = this.canvas.getBoundingClientRect();
      const s = this.canvas.clientWidth ? b.width / this.canvas.clientWidth : 1;
      return [(e.clientX - b.left) / s, (e.clientY - b.top) / s];
    };
    const base = () => ({ panel: this.panel, ctrl: this.id });
    this.canvas.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      const [x, y] = pos(e);
      if (e.ctrlKey && this.view) {
        // Ctrl + right click zooms out around the point.
        const p = this.toData(x, y), r = this.view;
        this.send({ op: 'zoom', ...base(), xmin: p.x - (r.x1 - r.x0), xmax: p.x + (r.x1 - r.x0), ymin: p.y - (r.y1 - r.y0), ymax: p.y + (r.y1 - r.y0) });
        return;
      }
      this.send({ op: 'rclick', ...base(), x: Math.round(x), y: Math.round(y), ctrl_key: e.ctrlKey });
    });
    this.canvas.addEventListener('dblclick', (e) => {
      const [x, y] = pos(e);
      this.send({ op: 'dblclick', ...base(), x: Math.round(x), y: Math.round(y) });
    });
    const cursorAt = (x) => {
      const a = this.area, r = this.view;
      if (!a || !r) return -1;
      return (this.graph?.cursors || []).findIndex((c) => Math.abs(a.x + ((c.x - r.x0) / (r.x1 - r.x0)) * a.w - x) <= 5);
    };
    this.canvas.addEventListener('mousemove', (e) => {
      if (this.drag) return;
      this.canvas.style.cursor = !e.ctrlKey && cursorAt(pos(e)[0]) >= 0 ? 'ew-resize' : e.ctrlKey ? 'crosshair' : '';
    });
    this.canvas.addEventListener('mousedown', (e) => {
      if (e.button !== 0 || !this.view) return;
      e.preventDefault();
      const [x, y] = pos(e);
      if (e.ctrlKey && e.shiftKey) this.drag = { pan: true, x0: x, y0: y, x, y };
      else if (e.ctrlKey) this.drag = { rect: true, x0: x, y0: y, x, y };
      else {
        const hit = cursorAt(x);
        this.drag = hit >= 0 ? { cursor: hit + 1, x0: x, y0: y, x, y, sent: 0 } : { click: true, x0: x, y0: y, x, y };
      }
      const move = (ev) => {
        const [mx, my] = pos(ev);
        this.drag.x = mx; this.drag.y = my;
        if (this.drag.cursor) {
          const now = performance.now();
          if (now - this.drag.sent > 60) {
            this.drag.sent = now;
            const p = this.toData(mx, my);
            this.send({ op: 'cursor', ...base(), cursor: this.drag.cursor, x: p.x, y: p.y, commit: false });
          }
        }
        this.draw();
      };
      const up = (ev) => {
        window.removeEventListener('mousemove', move);
        window.removeEventListener('mouseup', up);
        const d = this.drag;
        this.drag = null;
        if (d.rect) {
          if (Math.abs(d.x - d.x0) > 3 && Math.abs(d.y - d.y0) > 3) {
            const p0 = this.toData(Math.min(d.x0, d.x), Math.max(d.y0, d.y));
            const p1 = this.toData(Math.max(d.x0, d.x), Math.min(d.y0, d.y));
            this.send({ op: 'zoom', ...base(), xmin: p0.x, xmax: p1.x, ymin: p0.y, ymax: p1.y });
          }
        } else if (d.pan) {
          const a = this.toData(d.x0, d.y0), b = this.toData(d.x, d.y), r = this.view;
          const dx = a.x - b.x, dy = a.y - b.y;
          if (dx || dy) this.send({ op: 'zoom', ...base(), xmin: r.x0 + dx, xmax: r.x1 + dx, ymin: r.y0 + dy, ymax: r.y1 + dy });
        } else if (d.cursor) {
          const p = this.toData(d.x, d.y);
          this.send({ op: 'cursor', ...base(), cursor: d.cursor, x: p.x, y: p.y });
        } else {
          this.send({ op: 'click', ...base(), x: Math.round(d.x), y: Math.round(d.y), ctrl_key: false });
          // The second click of a double click is the double click's own: the cursor is there already.
          if (!(ev.detail >= 2)) this.cursorToClick(d);
        }
        this.draw();
      };
      window.addEventListener('mousemove', move);
      window.addEventListener('mouseup', up);
    });
  }
}
