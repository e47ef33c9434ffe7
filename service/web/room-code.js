// The page a teacher shows on a projector: the students' link, its QR code and the room code
// in big grouped digits.

import { svg } from './qr.js';

const id = (new URLSearchParams(location.search).get('id') || '').replace(/\D/g, '');
const code = document.getElementById('room-code-big');
const link = document.getElementById('room-link');
const qr = document.getElementById('room-qr');

if (id.length === 10) {
  const address = `${location.origin}/student/?id=${id}`;
  code.textContent = `${id.slice(0, 3)} ${id.slice(3, 6)} ${id.slice(6)}`;
  link.textContent = address;
  const picture = svg(address, 8);
  if (picture) qr.appendChild(picture);
} else {
  code.textContent = 'No room';
  link.textContent = 'This page needs the room: /room-code/?id= followed by its ten digits.';
}
