// Runs in a list page (its policy allows this service's scripts and nothing inline). While the
// service is still asking the listed servers, it reads the list from the JSON API every
// second and redraws the rows; once the list is complete, every 30 s while the page is shown.
// Rows are sorted by the column clicked and filtered by the page's boxes; the sort and the
// filters live in the page's address after '#', so Back and Reload keep them. Every text goes
// into the page with textContent, never as HTML: server names are anybody's text.
//
// The service writes its JSON API's address for @API@ as it serves the script.
'use strict';
(() => {
  const kApi = '@API@';
  const kAskingMs = 1000;
  const kRefreshMs = 30000;
  const kGiveUpMs = 20000;
  const kStateTexts = {
    'waiting': 'waiting',
    'no-answer': 'no answer',
    'unknown-host': 'unknown name',
    'bad-port': 'not a port',
    'busy': 'service busy',
    'refused': 'not asked from here',
  };

  const table = document.querySelector('table.list');
  if (!table) return;
  const game = table.dataset.game;
  const portOffset = Number(table.dataset.portOffset) || 0;
  const statusTemplate = table.dataset.status;
  const joinTemplate = table.dataset.join;
  // The watched servers' last day, drawn by the service: copied into rows, never built here.
  const charts = table.classList.contains('charts');
  const sparklines = new Map(Array.from(document.querySelectorAll('template[data-server]'),
    (t) => [t.dataset.server, t]));
  const headers = Array.from(table.tHead.rows[0].cells);
  const filters = document.getElementById('filters');
  const hideEmpty = document.getElementById('hide-empty');
  const hideFull = document.getElementById('hide-full');
  const filterText = document.getElementById('filter-text');
  const progress = document.getElementById('progress');
  const sources = document.getElementById('sources');

  let servers = null; // the API's last answer's servers
  let view = { sort: 'players', descending: true, empty: false, full: false, text: '' };
  let timer = 0;

  const readAddress = () => {
    const fields = new URLSearchParams(location.hash.slice(1));
    const sort = fields.get('sort');
    view = {
      sort: headers.some((th) => th.dataset.key === sort) ? sort : 'players',
      descending: fields.has('sort') ? fields.get('desc') === '1' : true,
      empty: fields.get('empty') === '1',
      full: fields.get('full') === '1',
      text: fields.get('q') || '',
    };
    hideEmpty.checked = view.empty;
    hideFull.checked = view.full;
    filterText.value = view.text;
  };

  const writeAddress = () => {
    const fields = new URLSearchParams();
    fields.set('sort', view.sort);
    fields.set('desc', view.descending ? '1' : '0');
    if (view.empty) fields.set('empty', '1');
    if (view.full) fields.set('full', '1');
    if (view.text) fields.set('q', view.text);
    history.replaceState(null, '', '#' + fields.toString());
  };

  const fill = (template, host, port) =>
    template.replace('__HOST__', encodeURIComponent(host))
      .replace('__PORT__', encodeURIComponent(String(port)));

  const answered = (s) => s.state === 'up' || s.state === 'partial';

  const sortValue = (s) => {
    switch (view.sort) {
      case 'players': return answered(s) ? (s.playersNow ?? -1) : -2;
      case 'ping': return answered(s) && s.roundTripMs !== null ? s.roundTripMs : Infinity;
      case 'sources': return s.sources.length;
      default: return String(s[view.sort] ?? '').toLowerCase();
    }
  };

  const shown = (s) => {
    if (view.empty && !(answered(s) && s.playersNow > 0)) return false;
    if (view.full && answered(s) && s.playersMax !== null && s.playersNow >= s.playersMax) {
      return false;
    }
    if (!view.text) return true;
    const text = view.text.toLowerCase();
    return [s.name, s.map, s.gameType].some((t) => t && t.toLowerCase().includes(text));
  };

  const link = (text, href) => {
    const a = document.createElement('a');
    a.href = href;
    a.textContent = text;
    return a;
  };

  const cell = (tr, kind, text, href) => {
    const td = tr.insertCell();
    td.className = kind;
    if (href) td.append(link(text, href));
    else td.textContent = text;
    return td;
  };

  // Each server's row is made once and its cells written again only where what they show
  // changed: a list of thousands redrawn every second would otherwise leave the page
  // thousands of dead rows a second.
  const made = new Map(); // address -> the row's element, its cells and what they last showed
  const put = (node, text) => {
    if (node.textContent !== text) node.textContent = text;
  };
  const makeRow = (s, address) => {
    const row = { tr: document.createElement('tr'), drawn: '', gamePort: undefined };
    row.name = cell(row.tr, 'name', address,
      fill(statusTemplate, s.host, s.queryPort - portOffset)).firstChild;
    row.name.title = address;
    row.map = cell(row.tr, 'map', '');
    row.type = cell(row.tr, 'type', '');
    row.players = cell(row.tr, 'players', '');
    if (charts) {
      const chart = sparklines.get(address);
      const td = cell(row.tr, 'history', '');
      if (chart) td.append(chart.content.cloneNode(true));
    }
    row.ping = cell(row.tr, 'ping', '');
    row.sources = cell(row.tr, 'sources', '');
    if (joinTemplate) row.join = cell(row.tr, 'join', '');
    return row;
  };
  const rowOf = (s) => {
    const address = s.host + ':' + s.queryPort;
    let row = made.get(address);
    if (!row) {
      row = makeRow(s, address);
      made.set(address, row);
    }
    const drawn = JSON.stringify([s.state, s.name, s.map, s.gameType, s.playersNow,
      s.playersMax, s.roundTripMs, s.sources, s.gamePort]);
    if (row.drawn === drawn) return row.tr;
    row.drawn = drawn;
    row.tr.className = answered(s) ? 'up' : 'down';
    put(row.name, s.name || address);
    put(row.map, answered(s) ? (s.map || '') : (kStateTexts[s.state] || s.state));
    put(row.type, s.gameType || '');
    put(row.players, s.playersNow === null ? ''
      : s.playersNow + '/' + (s.playersMax === null ? '?' : s.playersMax));
    put(row.ping, s.roundTripMs === null ? '' : String(s.roundTripMs));
    put(row.sources, s.sources.join(', '));
    if (row.join && row.gamePort !== s.gamePort) {
      row.gamePort = s.gamePort;
      row.join.replaceChildren();
      if (s.gamePort) row.join.append(link('Join', fill(joinTemplate, s.host, s.gamePort)));
    }
    return row.tr;
  };

  // The rows stand in tables of kChunk below the heads' table, as the service sends them, each
  // table in a box the engine lays out and paints only near the view (list-page.css): a list
  // of thousands then costs about what its rows on screen do. The service's rows go at the
  // first drawing.
  const kChunk = 100;
  const chunks = []; // { box, body }
  let chunksBox = null;
  let rowPx = 0; // a row's height, measured once one is laid out
  const placeRows = (trs) => {
    if (!chunksBox) {
      chunksBox = document.createElement('div');
      chunksBox.className = 'chunks';
      const served = document.querySelector('.chunks');
      if (served) served.replaceWith(chunksBox);
      else table.after(chunksBox);
    }
    const needed = Math.ceil(trs.length / kChunk);
    while (chunks.length < needed) {
      const box = document.createElement('div');
      const chunk = document.createElement('table');
      chunk.className = charts ? 'list charts' : 'list';
      box.append(chunk);
      chunksBox.append(box);
      chunks.push({ box, body: chunk.createTBody() });
    }
    trs.forEach((tr, i) => {
      const { body } = chunks[Math.floor(i / kChunk)];
      const at = body.rows[i % kChunk];
      if (at !== tr) body.insertBefore(tr, at || null);
    });
    while (chunks.length > needed) chunks.pop().box.remove();
    if (!rowPx && trs.length) rowPx = trs[0].getBoundingClientRect().height;
    chunks.forEach(({ box, body }, k) => {
      const count = Math.min(kChunk, trs.length - k * kChunk);
      while (body.rows.length > count) body.rows[body.rows.length - 1].remove();
      box.style.containIntrinsicHeight = Math.round(count * (rowPx || 21)) + 'px';
    });
  };

  const draw = () => {
    if (!servers) return;
    for (const th of headers) {
      th.classList.toggle('sorted', th.dataset.key === view.sort);
      th.classList.toggle('descending', th.dataset.key === view.sort && view.descending);
    }
    const rows = servers.filter(shown);
    rows.sort((a, b) => {
      const x = sortValue(a);
      const y = sortValue(b);
      const order = x < y ? -1 : x > y ? 1 : 0;
      return view.descending ? -order : order;
    });
    const listed = new Set(servers.map((s) => s.host + ':' + s.queryPort));
    for (const address of made.keys()) {
      if (!listed.has(address)) made.delete(address);
    }
    placeRows(rows.map(rowOf));
  };

  const describe = (list) => {
    const parts = list.masters.map((m) => [m.address, m.state,
      m.state === 'listed' ? 'listed ' + m.listed.toLocaleString('en') : (kStateTexts[m.state] || m.state)]);
    parts.push(['LAN', list.lan.state, list.lan.state === 'searched'
      ? list.lan.found + ' found' : (kStateTexts[list.lan.state] || list.lan.state)]);
    sources.replaceChildren();
    parts.forEach(([name, state, text], i) => {
      if (i) sources.append(' \u00b7 ');
      const span = document.createElement('span');
      span.className = 'source ' + state;
      span.textContent = name + ': ' + text;
      sources.append(span);
    });
    const asked = list.servers.filter((s) => s.state !== 'waiting').length;
    const up = list.servers.filter(answered);
    const players = up.filter((s) => s.playersNow > 0).length;
    progress.textContent = list.servers.length.toLocaleString('en') + ' servers: '
      + asked.toLocaleString('en') + ' asked, ' + up.length.toLocaleString('en')
      + ' answered, ' + players.toLocaleString('en') + ' with players.'
      + (list.complete ? '' : ' Asking\u2026');
  };

  const ask = async () => {
    timer = 0;
    let complete = false;
    const giveUp = new AbortController();
    const stop = setTimeout(() => giveUp.abort(), kGiveUpMs);
    try {
      const answer = await fetch(kApi + '?game=' + encodeURIComponent(game),
        { cache: 'no-store', signal: giveUp.signal });
      if (answer.ok) {
        const list = await answer.json();
        servers = list.servers;
        complete = list.complete;
        describe(list);
        draw();
      }
    } catch (e) {
      // The service is gone or slow: the rows keep what they showed, and it is asked again.
    } finally {
      clearTimeout(stop);
    }
    if (document.visibilityState === 'visible') {
      timer = setTimeout(ask, complete ? kRefreshMs : kAskingMs);
    }
  };

  const shownOrHidden = () => {
    if (document.visibilityState === 'visible') {
      if (!timer) ask();
    } else if (timer) {
      clearTimeout(timer);
      timer = 0;
    }
  };

  const changed = () => {
    view.empty = hideEmpty.checked;
    view.full = hideFull.checked;
    view.text = filterText.value.trim();
    writeAddress();
    draw();
  };

  for (const th of headers) {
    if (!th.dataset.key) continue;
    th.addEventListener('click', () => {
      view.descending = view.sort === th.dataset.key ? !view.descending
        : ['players', 'sources'].includes(th.dataset.key);
      view.sort = th.dataset.key;
      writeAddress();
      draw();
    });
  }
  hideEmpty.addEventListener('change', changed);
  hideFull.addEventListener('change', changed);
  filterText.addEventListener('input', changed);
  window.addEventListener('hashchange', () => { readAddress(); draw(); });
  filters.hidden = false;
  readAddress();
  document.addEventListener('visibilitychange', shownOrHidden);
  shownOrHidden();
})();
