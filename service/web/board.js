// The students' board: our own SVG, drawn as the teacher's boards are drawn (square colours,
// piece set, marks and arrows), with drag-and-drop and tap-tap moves. It knows no chess rules:
// the service says which moves are legal (when the teacher shows markers) and judges every move.

const SVG = 'http://www.w3.org/2000/svg';
const U = 10; // margin; a square is 2U, the board 18U, as in the application
const S = 2 * U;
const LIGHT = '#FFFFFF';
const DARK = '#9C9C9C';
const ARROW_COLOURS = ['#4169E1', '#FF0000', '#FFFFFF', '#000000', '#008000'];
const MARK_RED = '#FF0000';
const MARK_OTHER = '#4169E1';
const FILES = 'abcdefgh';

function el(name, attrs, parent) {
  const node = document.createElementNS(SVG, name);
  for (const key in attrs) node.setAttribute(key, attrs[key]);
  if (parent) parent.appendChild(node);
  return node;
}

// "name=value" lines of the piece set; names are piece letters, values SVG path data in a
// 160 by 160 box.
export function parsePieceSet(text) {
  const paths = {};
  for (const line of text.split(/\r?\n/)) {
    const eq = line.indexOf('=');
    if (eq !== 1) continue;
    const letter = line[0].toUpperCase();
    if ('KQRBNPCXF'.includes(letter)) paths[letter] = line.slice(eq + 1).trim();
  }
  return paths;
}

// The board part of a FEN as a map square -> piece letter.
export function parseBoard(fen) {
  const squares = {};
  const ranks = (fen || '').split(' ')[0].split('/');
  if (ranks.length !== 8) return squares;
  for (let r = 0; r < 8; r++) {
    let file = 0;
    for (const c of ranks[r]) {
      if (c >= '1' && c <= '8') file += Number(c);
      else {
        if (file < 8) squares[FILES[file] + (8 - r)] = c;
        file++;
      }
    }
  }
  return squares;
}

// The wire texts of marks ("e40d51": square and kind) and arrows ("e2e4g1f3").
export function parseMarks(text) {
  const marks = [];
  if (!text || text === '-') return marks;
  for (let i = 0; i + 3 <= text.length; i += 3) {
    const square = text.slice(i, i + 2);
    const kind = Number(text[i + 2]);
    if (/^[a-h][1-8]$/.test(square) && kind >= 0 && kind <= 5) marks.push({ square, kind });
  }
  return marks;
}

export function parseArrows(text, kind) {
  const arrows = [];
  if (!text || text === '-') return arrows;
  for (let i = 0; i + 4 <= text.length; i += 4) {
    const from = text.slice(i, i + 2);
    const to = text.slice(i + 2, i + 4);
    if (/^[a-h][1-8]$/.test(from) && /^[a-h][1-8]$/.test(to) && from !== to)
      arrows.push({ from, to, kind });
  }
  return arrows;
}

const isWhite = (p) => p >= 'A' && p <= 'Z';

export class Board {
  constructor(svg, pieces, onMove) {
    this.svg = svg;
    this.pieces = pieces;
    this.onMove = onMove;
    this.state = { fen: '', white: true, marks: [], arrows: [], legal: null, lastMove: '',
                   check: false, interactive: false, toMove: 'w' };
    this.selected = '';
    this.drag = null;
    this.pending = null;
    this.promotion = null;
    svg.setAttribute('viewBox', `0 0 ${18 * U} ${18 * U}`);
    this.build();
    svg.addEventListener('pointerdown', (e) => this.pointerDown(e));
    svg.addEventListener('pointermove', (e) => this.pointerMove(e));
    svg.addEventListener('pointerup', (e) => this.pointerUp(e));
    svg.addEventListener('pointercancel', () => this.cancelDrag());
    svg.addEventListener('contextmenu', (e) => e.preventDefault());
  }

  build() {
    const svg = this.svg;
    svg.textContent = '';
    const defs = el('defs', {}, svg);
    for (const letter in this.pieces)
      el('path', { id: 'piece-' + letter, d: this.pieces[letter] }, defs);
    this.layers = {};
    for (const name of ['squares', 'highlights', 'coords', 'markers', 'pieces', 'arrows',
                        'marks', 'drag', 'promotion'])
      this.layers[name] = el('g', { class: 'layer-' + name }, svg);
    el('rect', { x: U, y: U, width: 16 * U, height: 16 * U, class: 'frame' }, this.layers.squares);
    this.squareNodes = {};
    for (let col = 1; col <= 8; col++) {
      for (let row = 1; row <= 8; row++) {
        const square = FILES[col - 1] + row;
        this.squareNodes[square] = el('rect', {
          width: S, height: S, 'data-square': square,
          fill: (col + row) % 2 === 1 ? LIGHT : DARK,
        }, this.layers.squares);
      }
    }
  }

  // Top-left corner of a square in board units, by the orientation.
  origin(square) {
    const col = FILES.indexOf(square[0]);
    const row = Number(square[1]) - 1;
    const dc = this.state.white ? col : 7 - col;
    const dr = this.state.white ? 7 - row : row;
    return [U + dc * S, U + dr * S];
  }

  centre(square) {
    const [x, y] = this.origin(square);
    return [x + S / 2, y + S / 2];
  }

  squareAt(x, y) {
    if (x < U || y < U || x >= 17 * U || y >= 17 * U) return '';
    const dc = Math.floor((x - U) / S);
    const dr = Math.floor((y - U) / S);
    const col = this.state.white ? dc : 7 - dc;
    const row = this.state.white ? 7 - dr : dr;
    return FILES[col] + (row + 1);
  }

  point(event) {
    const matrix = this.svg.getScreenCTM();
    if (!matrix) return [0, 0];
    const p = new DOMPoint(event.clientX, event.clientY).matrixTransform(matrix.inverse());
    return [p.x, p.y];
  }

  // state: fen, white (orientation), marks, arrows, legal (map or null), lastMove, check,
  // interactive, toMove.
  set(state) {
    const turned = state.white !== this.state.white;
    this.state = state;
    this.pending = null;
    if (!state.interactive) {
      this.selected = '';
      this.closePromotion();
      this.cancelDrag();
    }
    if (turned) this.placeSquares();
    this.render();
  }

  placeSquares() {
    for (const square in this.squareNodes) {
      const [x, y] = this.origin(square);
      this.squareNodes[square].setAttribute('x', x);
      this.squareNodes[square].setAttribute('y', y);
    }
    const coords = this.layers.coords;
    coords.textContent = '';
    for (let i = 0; i < 8; i++) {
      const file = this.state.white ? FILES[i] : FILES[7 - i];
      const rank = this.state.white ? 8 - i : i + 1;
      const x = U + i * S + S / 2;
      el('text', { x, y: U * 0.72, class: 'coord' }, coords).textContent = file;
      el('text', { x, y: 17 * U + U * 0.72, class: 'coord' }, coords).textContent = file;
      const y = U + i * S + S / 2 + U * 0.28;
      el('text', { x: U / 2, y, class: 'coord' }, coords).textContent = rank;
      el('text', { x: 17 * U + U / 2, y, class: 'coord' }, coords).textContent = rank;
    }
  }

  // The position as shown: the service's, with a move in flight already made.
  shownSquares() {
    const squares = parseBoard(this.state.fen);
    if (this.pending) {
      const piece = squares[this.pending.from];
      delete squares[this.pending.from];
      if (piece) squares[this.pending.to] = this.pending.promotion
        ? (isWhite(piece) ? this.pending.promotion : this.pending.promotion.toLowerCase())
        : piece;
    }
    return squares;
  }

  render() {
    if (!this.squareNodes.a1.hasAttribute('x')) this.placeSquares();
    const squares = this.shownSquares();
    this.renderHighlights(squares);
    this.renderMarkers(squares);
    this.renderPieces(squares);
    this.renderArrows();
    this.renderMarks();
  }

  renderHighlights(squares) {
    const layer = this.layers.highlights;
    layer.textContent = '';
    const shade = (square, cls) => {
      const [x, y] = this.origin(square);
      el('rect', { x, y, width: S, height: S, class: cls, 'data-square': square }, layer);
    };
    const last = this.pending ? this.pending.from + this.pending.to : this.state.lastMove;
    if (last && last.length >= 4) {
      shade(last.slice(0, 2), 'last-move');
      shade(last.slice(2, 4), 'last-move');
    }
    if (this.selected) shade(this.selected, 'selected');
    if (this.state.check && !this.pending) {
      const king = this.state.toMove === 'w' ? 'K' : 'k';
      for (const square in squares) {
        if (squares[square] !== king) continue;
        const [x, y] = this.centre(square);
        el('circle', { cx: x, cy: y, r: S * 0.48, class: 'check', 'data-square': square }, layer);
      }
    }
  }

  targetsOf(square) {
    if (!this.state.legal || !square) return null;
    const text = this.state.legal[square] || '';
    const targets = [];
    for (let i = 0; i + 2 <= text.length; i += 2) targets.push(text.slice(i, i + 2));
    return targets;
  }

  renderMarkers(squares) {
    const layer = this.layers.markers;
    layer.textContent = '';
    const from = this.drag ? this.drag.from : this.selected;
    const targets = this.targetsOf(from);
    if (!targets || this.pending) return;
    for (const target of targets) {
      const [x, y] = this.centre(target);
      if (squares[target])
        el('circle', { cx: x, cy: y, r: S * 0.44, class: 'marker capture', 'data-square': target },
           layer);
      else el('circle', { cx: x, cy: y, r: S * 0.16, class: 'marker', 'data-square': target }, layer);
    }
  }

  pieceNode(letter, x, y, size, parent) {
    const upper = letter.toUpperCase();
    if (!this.pieces[upper]) return null;
    return el('use', {
      href: '#piece-' + upper,
      transform: `translate(${x} ${y}) scale(${size / 160})`,
      class: 'piece ' + (isWhite(letter) ? 'white' : 'black'),
      'data-piece': letter,
    }, parent);
  }

  renderPieces(squares) {
    const layer = this.layers.pieces;
    layer.textContent = '';
    for (const square in squares) {
      const letter = squares[square];
      // Pawns and the small markers sit a little smaller in their squares.
      const g = 'CPXcpx'.includes(letter) ? S * 0.15 : S * 0.1;
      const [x, y] = this.origin(square);
      const node = this.pieceNode(letter, x + g, y + g, S - 2 * g, layer);
      if (!node) continue;
      node.setAttribute('data-square', square);
      if (this.drag && this.drag.moved && this.drag.from === square) node.classList.add('lifted');
    }
  }

  renderArrows() {
    const layer = this.layers.arrows;
    layer.textContent = '';
    for (const arrow of this.state.arrows) {
      const colour = ARROW_COLOURS[arrow.kind];
      if (!colour) continue;
      const [sx, sy] = this.centre(arrow.from);
      const [ex, ey] = this.centre(arrow.to);
      // The head as the application draws it: length 0.7 of a square, 20 degrees each side,
      // the shaft ending at the middle of the head's base.
      const a = Math.atan2(ey - sy, ex - sx);
      const l = S * 0.7;
      const h = Math.PI / 9;
      const p1 = [ex - l * Math.cos(a + h), ey - l * Math.sin(a + h)];
      const p2 = [ex - l * Math.cos(a - h), ey - l * Math.sin(a - h)];
      const m = [(p1[0] + p2[0]) / 2, (p1[1] + p2[1]) / 2];
      const g = el('g', { class: 'arrow', 'data-from': arrow.from, 'data-to': arrow.to,
                          'data-kind': arrow.kind, opacity: 0.7 }, layer);
      el('line', { x1: sx, y1: sy, x2: m[0], y2: m[1], stroke: colour, 'stroke-width': S / 10 }, g);
      el('polygon', { points: `${p1.join(',')} ${p2.join(',')} ${ex},${ey}`, fill: colour }, g);
    }
  }

  renderMarks() {
    const layer = this.layers.marks;
    layer.textContent = '';
    for (const mark of this.state.marks) {
      const [x, y] = this.centre(mark.square);
      el('circle', {
        cx: x, cy: y, r: S / 2 - S * 0.1, class: 'mark', 'data-square': mark.square,
        'data-kind': mark.kind, fill: 'none', opacity: 0.7, 'stroke-width': S / 10,
        stroke: mark.kind === 1 ? MARK_RED : MARK_OTHER,
      }, layer);
    }
  }

  // --- moving ---

  ownPiece(square) {
    const piece = parseBoard(this.state.fen)[square];
    return piece && (isWhite(piece) ? 'w' : 'b') === this.state.toMove;
  }

  pointerDown(event) {
    if (event.button !== 0 || this.pending) return;
    if (this.promotion) return;
    const [x, y] = this.point(event);
    const square = this.squareAt(x, y);
    if (!square || !this.state.interactive) return;
    event.preventDefault();
    if (this.ownPiece(square)) {
      this.drag = { from: square, x, y, moved: false, pointer: event.pointerId,
                    wasSelected: this.selected === square };
      this.svg.setPointerCapture(event.pointerId);
      if (this.selected !== square) {
        this.selected = square;
        this.render();
      }
    } else {
      this.drag = { from: '', x, y, moved: false, pointer: event.pointerId };
    }
  }

  pointerMove(event) {
    const drag = this.drag;
    if (!drag || !drag.from || drag.pointer !== event.pointerId) return;
    const [x, y] = this.point(event);
    if (!drag.moved && Math.hypot(x - drag.x, y - drag.y) < S * 0.2) return;
    if (!drag.moved) {
      drag.moved = true;
      this.render();
    }
    const layer = this.layers.drag;
    layer.textContent = '';
    const piece = parseBoard(this.state.fen)[drag.from];
    const over = this.squareAt(x, y);
    if (over) {
      const [ox, oy] = this.origin(over);
      el('rect', { x: ox, y: oy, width: S, height: S, class: 'drag-target' }, layer);
    }
    const size = S * 1.1;
    const node = this.pieceNode(piece, x - size / 2, y - size / 2, size, layer);
    if (node) node.classList.add('dragged');
  }

  pointerUp(event) {
    const drag = this.drag;
    if (!drag || drag.pointer !== event.pointerId) return;
    this.drag = null;
    this.layers.drag.textContent = '';
    const [x, y] = this.point(event);
    const square = this.squareAt(x, y);
    if (drag.moved) {
      if (square && square !== drag.from) this.tryMove(drag.from, square);
      else this.render();
      return;
    }
    // A tap: the first picks a piece, the second its target.
    const tapped = square || '';
    if (this.selected && tapped && tapped !== this.selected && !this.ownPiece(tapped)) {
      this.tryMove(this.selected, tapped);
    } else if (tapped && tapped === this.selected && drag.wasSelected) {
      this.selected = '';
      this.render();
    } else if (!tapped || !this.ownPiece(tapped)) {
      this.selected = '';
      this.render();
    }
  }

  cancelDrag() {
    if (!this.drag) return;
    this.drag = null;
    this.layers.drag.textContent = '';
    this.render();
  }

  tryMove(from, to) {
    const targets = this.targetsOf(from);
    // With markers shown the page knows the legal targets; without them the service judges.
    if (targets && !targets.includes(to)) {
      this.selected = '';
      this.render();
      this.onMove(null, { from, to });
      return;
    }
    const piece = parseBoard(this.state.fen)[from];
    const lastRank = (piece === 'P' && to[1] === '8') || (piece === 'p' && to[1] === '1');
    if (lastRank) {
      this.choosePromotion(from, to, isWhite(piece));
      return;
    }
    this.send(from, to, '');
  }

  send(from, to, promotion) {
    this.selected = '';
    this.pending = { from, to, promotion };
    this.render();
    this.onMove({ from, to, promotion });
  }

  // Undoes a move in flight that the service refused.
  refused() {
    this.pending = null;
    this.render();
  }

  choosePromotion(from, to, white) {
    this.closePromotion();
    const layer = this.layers.promotion;
    this.promotion = { from, to };
    el('rect', { x: 0, y: 0, width: 18 * U, height: 18 * U, class: 'promotion-shade' }, layer)
      .addEventListener('pointerup', () => { this.closePromotion(); this.selected = ''; this.render(); });
    const choices = ['Q', 'R', 'B', 'N'];
    const box = S * 1.6;
    const left = 9 * U - (choices.length * box) / 2;
    const top = 9 * U - box / 2;
    el('rect', { x: left - 4, y: top - 4, width: choices.length * box + 8, height: box + 8,
                 rx: 4, class: 'promotion-box' }, layer);
    choices.forEach((letter, i) => {
      const g = el('g', { class: 'promotion-choice', 'data-piece': letter }, layer);
      el('rect', { x: left + i * box, y: top, width: box, height: box, rx: 3 }, g);
      this.pieceNode(white ? letter : letter.toLowerCase(), left + i * box + box * 0.1,
                     top + box * 0.1, box * 0.8, g);
      g.addEventListener('pointerup', (e) => {
        e.stopPropagation();
        this.closePromotion();
        this.send(from, to, letter);
      });
    });
  }

  closePromotion() {
    this.promotion = null;
    if (this.layers) this.layers.promotion.textContent = '';
  }
}
